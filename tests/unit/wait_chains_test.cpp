// The wait-chain section: the table of wait calls, the words of each thread line, the cycle
// finder, and what the section finds on stacks of the stand-in, on "Wine" and on "Windows".
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "report/wait_calls.h"
#include "report/wait_chains.h"
#include "report/wait_graph.h"
#include "report/wait_text.h"
#include "test_support.h"

namespace {

TEST(WaitCalls, TableFindsCallsBySpelling) {
  struct Case {
    const char* name;
    bool found;
    WaitCallKind kind;
    int8_t object, timeout;
  } cases[] = {
      {"WaitForSingleObject", true, WaitCallKind::kObject, 0, 1},
      {"_WaitForSingleObject@8", true, WaitCallKind::kObject, 0, 1},
      {"NtWaitForSingleObject", true, WaitCallKind::kObject, 0, 2},
      {"SignalObjectAndWait", true, WaitCallKind::kObject, 1, 2},
      {"RtlEnterCriticalSection", true, WaitCallKind::kCriticalSection, 0, kNoArgument},
      {"MsgWaitForMultipleObjectsEx", true, WaitCallKind::kObjects, 1, 2},
      {"NtWaitForMultipleObjects", true, WaitCallKind::kObjects, 1, 4},
      {"SleepEx", true, WaitCallKind::kSleep, kNoArgument, 0},
      {"NtDelayExecution", true, WaitCallKind::kSleep, kNoArgument, 1},
      {"SendMessageTimeoutW", true, WaitCallKind::kSendMessage, 0, 5},
      {"RtlAcquireSRWLockExclusive", true, WaitCallKind::kSrwExclusive, 0, kNoArgument},
      {"SleepConditionVariableSRW", true, WaitCallKind::kConditionVariable, 0, 2},
      {"GetMessageW", true, WaitCallKind::kMessages, kNoArgument, kNoArgument},
      {"WaitForSingleObjectA", false, WaitCallKind::kObject, 0, 0},
      {"Sleep@", false, WaitCallKind::kObject, 0, 0},
      {"_", false, WaitCallKind::kObject, 0, 0},
      {"", false, WaitCallKind::kObject, 0, 0},
      {"GetMessageW+0x1c", false, WaitCallKind::kObject, 0, 0},
  };
  for (const Case& c : cases) {
    const WaitCall* call = FindWaitCall(c.name);
    ASSERT_EQ(call != nullptr, c.found) << c.name;
    if (!c.found) continue;
    EXPECT_EQ(call->kind, c.kind) << c.name;
    EXPECT_EQ(call->object, c.object) << c.name;
    EXPECT_EQ(call->timeout, c.timeout) << c.name;
  }
  EXPECT_EQ(FindWaitCall(nullptr), nullptr);
}

WaitEdge Edge(uint32_t thread, uint32_t holder, const char* via = "critical section 00403010") {
  return {thread, true, holder, via};
}
WaitEdge NoEdge(uint32_t thread) { return {thread, false, 0, ""}; }

TEST(WaitGraph, CyclesOnceEachFromTheirLowestThread) {
  struct Case {
    const char* what;
    std::vector<WaitEdge> edges;
    std::vector<std::string> lines;
  } cases[] = {
      {"none", {}, {}},
      {"two threads",
       {Edge(0x1d, 0x1c, "critical section 00403028"), Edge(0x1c, 0x1d)},
       {"Deadlock: thread 0x1c -> critical section 00403010 -> thread 0x1d -> critical section 00403028 -> "
        "thread 0x1c"}},
      {"itself", {Edge(0x30, 0x30, "thread handle 00000040")},
       {"Deadlock: thread 0x30 -> thread handle 00000040 -> thread 0x30"}},
      {"chain into a running thread", {Edge(1, 2), Edge(2, 3), NoEdge(3)}, {}},
      {"chain to a thread not in the table", {Edge(1, 2), Edge(2, 9)}, {}},
      {"tail into a cycle counts the cycle once",
       {Edge(5, 6), Edge(6, 7), Edge(7, 6), Edge(8, 7)},
       {"Deadlock: thread 0x6 -> critical section 00403010 -> thread 0x7 -> critical section 00403010 -> "
        "thread 0x6"}},
      {"two cycles by lowest id",
       {Edge(9, 4), Edge(4, 9), Edge(2, 3), Edge(3, 2)},
       {"Deadlock: thread 0x2 -> critical section 00403010 -> thread 0x3 -> critical section 00403010 -> thread 0x2",
        "Deadlock: thread 0x4 -> critical section 00403010 -> thread 0x9 -> critical section 00403010 -> "
        "thread 0x4"}},
      {"a thread listed twice counts as first listed", {Edge(1, 1), NoEdge(1)},
       {"Deadlock: thread 0x1 -> critical section 00403010 -> thread 0x1"}},
  };
  for (const Case& c : cases) EXPECT_EQ(DeadlockLines(c.edges), c.lines) << c.what;
}

TEST(WaitGraph, HundredThreadCycleIsOneLine) {
  std::vector<WaitEdge> edges;
  for (uint32_t i = 0; i < 100; ++i) edges.push_back(Edge(0x100 + i, 0x100 + (i + 1) % 100));
  const std::vector<std::string> lines = DeadlockLines(edges);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].find("Deadlock: thread 0x100 -> "), 0u);
  EXPECT_EQ(lines[0].size() - lines[0].rfind(" -> thread 0x100"), strlen(" -> thread 0x100"));
}

WaitedObject Object(const char* type, uint32_t handle, const char* name = "") {
  WaitedObject object;
  object.type = type;
  object.handle = handle;
  object.name = name;
  return object;
}

TEST(WaitText, EveryKindOfLine) {
  ThreadWait base;
  base.threadId = 0x1c;
  struct Case {
    std::function<void(ThreadWait&)> set;
    const char* text;
  } cases[] = {
      {[](ThreadWait& w) { w.function = "prog!main"; }, "Thread 0x1c runs in prog!main"},
      {[](ThreadWait& w) { w.state = ThreadState::kSuspended; }, "Thread 0x1c is suspended"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kArgumentsUnreadable;
         w.function = "KERNEL32!WaitForSingleObject";
       },
       "Thread 0x1c waits in KERNEL32!WaitForSingleObject (arguments unreadable)"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kCriticalSection;
         w.address = 0x403010;
         w.section = SectionState::kOwned;
         w.owner = 0x1d;
         w.recursion = 1;
       },
       "Thread 0x1c waits for critical section 00403010 owned by thread 0x1d (recursion 1)"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kCriticalSection;
         w.address = 0x403010;
         w.section = SectionState::kOwnerExited;
         w.owner = 0x99;
       },
       "Thread 0x1c waits for critical section 00403010 owned by thread 0x99, which has exited"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kCriticalSection;
         w.address = 0x403010;
         w.section = SectionState::kFree;
       },
       "Thread 0x1c waits for critical section 00403010 (not owned)"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kCriticalSection;
         w.address = 0xdead0001;
       },
       "Thread 0x1c waits for critical section dead0001 (unreadable)"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kObjects;
         w.objects = {Object("Event", 0x44, "ready")};
         w.timed = true;
         w.milliseconds = 5000;
       },
       "Thread 0x1c waits for event 00000044 \"ready\" for 5000 ms"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kObjects;
         w.objects = {Object("Mutant", 0x48)};
       },
       "Thread 0x1c waits for mutex 00000048, owner unknown"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kObjects;
         w.objects = {Object("Mutant", 0x48)};
         w.objects[0].ownerKnown = true;
         w.objects[0].owner = 0x2c;
       },
       "Thread 0x1c waits for mutex 00000048 owned by thread 0x2c"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kObjects;
         w.objects = {Object("Thread", 0x50)};
         w.objects[0].threadId = 0x1d;
       },
       "Thread 0x1c waits for thread 0x1d to end"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kObjects;
         w.objects = {Object("Process", 0x54)};
         w.objects[0].processId = 777;
       },
       "Thread 0x1c waits for process 777 to end"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kObjects;
         w.objects = {Object("", 0x1234)};
         w.objects[0].error = 6;
       },
       "Thread 0x1c waits for handle 00001234 (kind unknown, e=6)"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kObjects;
         w.objects = {Object("Semaphore", 0x58), Object("Timer", 0x5c, "tick")};
       },
       "Thread 0x1c waits for any of 2 objects: semaphore 00000058; timer 0000005c \"tick\""},
      {[](ThreadWait& w) {
         w.state = ThreadState::kObjects;
         w.all = true;
         w.objects = {Object("Event", 0x44), Object("Thread", 0x50)};
         w.objects[1].threadId = 0x1d;
       },
       "Thread 0x1c waits for all of 2 objects: event 00000044; thread 0x1d"},
      {[](ThreadWait& w) { w.state = ThreadState::kSleeps; }, "Thread 0x1c sleeps forever"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kSleeps;
         w.timed = true;
         w.milliseconds = 0;
       },
       "Thread 0x1c sleeps for 0 ms"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kSendMessage;
         w.address = 0x10040;
         w.windowKnown = true;
         w.owner = 0x1d;
         w.message = 0x400;
       },
       "Thread 0x1c waits for window 00010040 of thread 0x1d to answer message 0400"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kSendMessage;
         w.address = 0x10040;
         w.windowKnown = true;
         w.owner = 0x1d;
         w.windowProcess = 88;
         w.message = 0xc;
       },
       "Thread 0x1c waits for window 00010040 of thread 0x1d of process 88 to answer message 000c"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kSendMessage;
         w.address = 0x10040;
       },
       "Thread 0x1c waits for window 00010040 (no such window) to answer message 0000"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kSrwLock;
         w.address = 0x403040;
       },
       "Thread 0x1c waits for SRW lock 00403040 (shared), owner not recorded"},
      {[](ThreadWait& w) {
         w.state = ThreadState::kConditionVariable;
         w.address = 0x403050;
       },
       "Thread 0x1c waits for condition variable 00403050, owner not recorded"},
      {[](ThreadWait& w) { w.state = ThreadState::kMessages; }, "Thread 0x1c waits for messages"},
  };
  for (const Case& c : cases) {
    ThreadWait wait = base;
    c.set(wait);
    EXPECT_EQ(WaitLine(wait), c.text);
  }
}

// A stopped target whose threads wait in the functions of a stand-in system library.
constexpr DWORD kSystem = 0x7b000000;
constexpr DWORD kStack = 0x00120000;
constexpr DWORD kData = 0x00403000;

struct WaitFixture : SessionFixture {
  WaitFixture() {
    session->options.symbolTableEnabled = false;
    session->options.memoryDumpEnabled = false;
    sim::AddModule("C:\\windows\\system32\\kernel32.dll", kSystem, 0x10000);
    session->AddModule(CModule("C:\\windows\\system32\\kernel32.dll", kSystem, 0x10000));
    sim::AddRegion(kStack, 0x1000);
    sim::AddRegion(kData, 0x1000);
    session->processId = sim::target().processId;
  }
  // A frame running in the system function name, its arguments above its return slot.
  FrameRecord WaitFrame(const char* name, const std::vector<DWORD>& arguments, DWORD slot = kStack + 0x100) {
    const DWORD at = kSystem + 0x1000 + 0x100 * static_cast<DWORD>(sim::target().symbols.size());
    sim::AddSymbol(name, at, 0x100);
    std::vector<BYTE> bytes;
    for (DWORD word : arguments) {
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<BYTE>(word >> (8 * i)));
    }
    sim::Fill(slot + 4, bytes);
    FrameRecord frame;
    frame.pc = at + 0x10;
    frame.returnSlot = slot;
    return frame;
  }
  void Thread(DWORD id) {
    sim::AddThread(id);
    session->AddThread(sim::target().threads.back().handle, id);
  }
  void Section(DWORD at, DWORD owner, DWORD recursion) {
    sim::Fill(at, {0xff, 0xff, 0xff, 0xff, 0xfe, 0xff, 0xff, 0xff, static_cast<BYTE>(recursion), 0, 0, 0,
                   static_cast<BYTE>(owner), static_cast<BYTE>(owner >> 8), 0, 0});
  }
  sim::KernelObject& Handle(DWORD handle, const char* type, const char* name = "") {
    sim::KernelObject object;
    object.handle = handle;
    object.type = type;
    object.name = name;
    sim::target().objects.push_back(object);
    return sim::target().objects.back();
  }
  std::string Line(const std::vector<FrameRecord>& frames) {
    return WaitLine(DescribeWait(session->target, session->threads[0], frames));
  }
};

TEST(WaitChains, CriticalSectionOwnerRules) {
  struct Case {
    DWORD owner;
    DWORD at;
    const char* text;
  } cases[] = {
      {0x1d, kData + 0x10, "Thread 0x1c waits for critical section 00403010 owned by thread 0x1d (recursion 1)"},
      {0x99, kData + 0x10, "Thread 0x1c waits for critical section 00403010 owned by thread 0x99, which has exited"},
      {0, kData + 0x10, "Thread 0x1c waits for critical section 00403010 (not owned)"},
      {0x1d, 0x00500000, "Thread 0x1c waits for critical section 00500000 (unreadable)"},
      {0x1d, kData + 0x11, "Thread 0x1c waits for critical section 00403011 (unreadable)"},
      {0x1d, kData + 0xff0, "Thread 0x1c waits for critical section 00403ff0 (unreadable)"},  // runs off the page
  };
  for (const Case& c : cases) {
    WaitFixture f;
    f.Thread(0x1c);
    f.Thread(0x1d);
    if (c.at + 0x18 <= kData + 0x1000 && (c.at & 3) == 0) f.Section(c.at, c.owner, c.owner ? 1 : 0);
    EXPECT_EQ(f.Line({f.WaitFrame("RtlEnterCriticalSection", {c.at})}), c.text);
  }
}

TEST(WaitChains, KernelObjectsOnWineAndWindows) {
  struct Case {
    sim::Platform platform;
    const char* function;
    std::vector<DWORD> arguments;
    const char* text;
  } cases[] = {
      {sim::Platform::kWine, "WaitForSingleObject", {0x44, 5000}, "Thread 0x1c waits for event 00000044 \"ready\" for 5000 ms"},
      {sim::Platform::kWine, "WaitForSingleObjectEx", {0x48, 0xFFFFFFFF, 0}, "Thread 0x1c waits for mutex 00000048, owner unknown"},
      {sim::Platform::kWindows, "WaitForSingleObject", {0x48, 0xFFFFFFFF}, "Thread 0x1c waits for mutex 00000048 owned by thread 0x1d"},
      {sim::Platform::kWine, "WaitForSingleObject", {0x50, 0xFFFFFFFF}, "Thread 0x1c waits for thread 0x1d to end"},
      {sim::Platform::kWine, "WaitForSingleObject", {0x54, 0xFFFFFFFF}, "Thread 0x1c waits for process 777 to end"},
      {sim::Platform::kWine, "WaitForSingleObject", {0x58, 0xFFFFFFFF}, "Thread 0x1c waits for handle 00000058 (kind unknown, e=5)"},
      {sim::Platform::kWine, "WaitForSingleObject", {0xdeadbeef, 10}, "Thread 0x1c waits for handle deadbeef (kind unknown, e=6) for 10 ms"},
      {sim::Platform::kWine, "WaitForMultipleObjects", {2, kData + 0x100, 0, 0xFFFFFFFF},
       "Thread 0x1c waits for any of 2 objects: event 00000044 \"ready\"; thread 0x1d"},
      {sim::Platform::kWine, "NtWaitForMultipleObjects", {2, kData + 0x100, 0, 0, 0},
       "Thread 0x1c waits for all of 2 objects: event 00000044 \"ready\"; thread 0x1d"},
      {sim::Platform::kWine, "WaitForMultipleObjects", {65, kData + 0x100, 0, 0xFFFFFFFF},
       "Thread 0x1c waits in kernel32!WaitForMultipleObjects (arguments unreadable)"},
      {sim::Platform::kWine, "WaitForMultipleObjects", {2, 0x00500000, 0, 0xFFFFFFFF},
       "Thread 0x1c waits in kernel32!WaitForMultipleObjects (arguments unreadable)"},
      {sim::Platform::kWine, "MsgWaitForMultipleObjects", {0, 0, 0, 0xFFFFFFFF, 0xff}, "Thread 0x1c waits for messages"},
      {sim::Platform::kWine, "Sleep", {0xFFFFFFFF}, "Thread 0x1c sleeps forever"},
      {sim::Platform::kWine, "SleepEx", {250, 1}, "Thread 0x1c sleeps for 250 ms"},
      {sim::Platform::kWine, "NtDelayExecution", {0, kData + 0x200}, "Thread 0x1c sleeps for 1500 ms"},
      {sim::Platform::kWine, "NtDelayExecution", {0, 0}, "Thread 0x1c sleeps forever"},
      {sim::Platform::kWine, "NtDelayExecution", {0, 0x00500000}, "Thread 0x1c sleeps, for how long unknown"},
      {sim::Platform::kWine, "NtDelayExecution", {0, kData + 0x100}, "Thread 0x1c sleeps, for how long unknown"},
      {sim::Platform::kWine, "SendMessageW", {0x10040, 0x400, 0, 0}, "Thread 0x1c waits for window 00010040 of thread 0x1d to answer message 0400"},
      {sim::Platform::kWine, "SendMessageA", {0x10044, 0x10, 0, 0}, "Thread 0x1c waits for window 00010044 of thread 0x70 of process 88 to answer message 0010"},
      {sim::Platform::kWine, "SendMessageTimeoutW", {0x10048, 0x400, 0, 0, 2, 3000, 0}, "Thread 0x1c waits in kernel32!SendMessageTimeoutW (arguments unreadable)"},
      {sim::Platform::kWine, "RtlAcquireSRWLockExclusive", {kData + 0x40}, "Thread 0x1c waits for SRW lock 00403040 (exclusive), owner not recorded"},
      {sim::Platform::kWine, "AcquireSRWLockShared", {kData + 0x40}, "Thread 0x1c waits for SRW lock 00403040 (shared), owner not recorded"},
      {sim::Platform::kWine, "SleepConditionVariableCS", {kData + 0x50, kData + 0x10, 0xFFFFFFFF}, "Thread 0x1c waits for condition variable 00403050, owner not recorded"},
      {sim::Platform::kWine, "GetMessageW", {kData, 0, 0, 0}, "Thread 0x1c waits for messages"},
  };
  for (const Case& c : cases) {
    WaitFixture f;
    sim::target().platform = c.platform;
    sim::target().waitChainOwners[0x1c] = 0x1d;
    f.Thread(0x1c);
    f.Thread(0x1d);
    f.Handle(0x44, "Event", "ready");
    f.Handle(0x48, "Mutant").owner = 0x1d;
    f.Handle(0x50, "Thread").threadId = 0x1d;
    f.Handle(0x54, "Process").processId = 777;
    f.Handle(0x58, "Semaphore").duplicable = false;
    sim::Fill(kData + 0x100, {0x44, 0, 0, 0, 0x50, 0, 0, 0});
    sim::Fill(kData + 0x200, {0x40, 0x1e, 0x1b, 0xff, 0xff, 0xff, 0xff, 0xff});  // -15000000: 1500 ms from now
    sim::target().windows = {{0x10040, 0x1d, sim::target().processId}, {0x10044, 0x70, 88}};
    FrameRecord frame = f.WaitFrame(c.function, c.arguments);
    // SendMessageTimeout: the sixth argument word would lie past the end of the stack.
    if (c.arguments.size() > 6) frame = f.WaitFrame(c.function, {}, kStack + 0x1000 - 4 * 6);
    const ThreadWait wait = DescribeWait(f.session->target, f.session->threads[0], {frame});
    std::string text = WaitLine(wait);
    if (wait.state == ThreadState::kObjects && c.platform == sim::Platform::kWindows) {
      // The section asks the traversal where the stack cannot tell; the handle query told here.
      EXPECT_TRUE(wait.objects[0].ownerKnown);
    }
    EXPECT_EQ(text, c.text) << c.function;
    for (size_t i = 0; i < sim::target().duplicates.size(); ++i) {
      const HANDLE duplicate = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x9000 + 4 * i));
      EXPECT_NE(std::find(sim::ClosedHandles().begin(), sim::ClosedHandles().end(), duplicate),
                sim::ClosedHandles().end());
    }
  }
}
}  // namespace

namespace {

TEST(WaitChains, SectionNamesEveryThreadAndEachDeadlockOnce) {
  struct Case {
    sim::Platform platform;
    const char* section;
    std::vector<std::string> log;
  } cases[] = {
      {sim::Platform::kWine,
       "*----> Wait Chains <----*\r\n"
       "Thread 0x1c waits for critical section 00403010 owned by thread 0x1d (recursion 1)\r\n"
       "Thread 0x1d waits for critical section 00403028 owned by thread 0x1c (recursion 1)\r\n"
       "Thread 0x2c waits for mutex 00000048, owner unknown\r\n"
       "Thread 0x2d waits for thread 0x2d to end\r\n"
       "Thread 0x2e runs in kernel32!00000000\r\n"
       "Deadlock: thread 0x1c -> critical section 00403010 -> thread 0x1d -> critical section 00403028 -> "
       "thread 0x1c\r\n"
       "Deadlock: thread 0x2d -> thread handle 00000050 -> thread 0x2d\r\n"
       "\r\n",
       {"Deadlock: thread 0x1c -> critical section 00403010 -> thread 0x1d -> critical section 00403028 -> "
        "thread 0x1c",
        "Deadlock: thread 0x2d -> thread handle 00000050 -> thread 0x2d"}},
      // Only the traversal knows the mutex's owner here: a thread of the other deadlock.
      {sim::Platform::kWindows,
       "*----> Wait Chains <----*\r\n"
       "Thread 0x1c waits for critical section 00403010 owned by thread 0x1d (recursion 1)\r\n"
       "Thread 0x1d waits for critical section 00403028 owned by thread 0x1c (recursion 1)\r\n"
       "Thread 0x2c waits for mutex 00000048 owned by thread 0x1d\r\n"
       "Thread 0x2d waits for thread 0x2d to end\r\n"
       "Thread 0x2e runs in kernel32!00000000\r\n"
       "Deadlock: thread 0x1c -> critical section 00403010 -> thread 0x1d -> critical section 00403028 -> "
       "thread 0x1c\r\n"
       "Deadlock: thread 0x2d -> thread handle 00000050 -> thread 0x2d\r\n"
       "\r\n",
       {"Deadlock: thread 0x1c -> critical section 00403010 -> thread 0x1d -> critical section 00403028 -> "
        "thread 0x1c",
        "Deadlock: thread 0x2d -> thread handle 00000050 -> thread 0x2d"}},
  };
  for (const Case& c : cases) {
    WaitFixture f;
    sim::target().platform = c.platform;
    sim::target().waitChainOwners[0x2c] = 0x1d;
    for (DWORD id : {0x1c, 0x1d, 0x2c, 0x2d, 0x2e}) f.Thread(id);
    f.Section(kData + 0x10, 0x1d, 1);
    f.Section(kData + 0x28, 0x1c, 1);
    f.Handle(0x48, "Mutant").ownerQueryable = false;
    f.Handle(0x50, "Thread").threadId = 0x2d;
    sim::target().modules[0].base = 0;  // thread 0x2e runs at 0: in the module, in no symbol
    std::vector<std::vector<FrameRecord>> frames = {
        {f.WaitFrame("RtlEnterCriticalSection", {kData + 0x10}, kStack + 0x100)},
        {f.WaitFrame("EnterCriticalSection", {kData + 0x28}, kStack + 0x200)},
        {f.WaitFrame("WaitForSingleObject", {0x48, 0xFFFFFFFF}, kStack + 0x300)},
        {f.WaitFrame("WaitForSingleObjectEx", {0x50, 0xFFFFFFFF, 0}, kStack + 0x400)},
        {}};
    f.log.lines.clear();
    WriteWaitChains(*f.session, frames);
    EXPECT_EQ(f.Report(), c.section);
    EXPECT_EQ(f.log.lines, c.log);
  }
}

// The outermost of one group of wait calls gives the line; a wait further out, in whose
// callback the thread runs, does not.
TEST(WaitChains, OutermostWaitCallOfTheInnermostGroup) {
  WaitFixture f;
  f.Thread(0x1c);
  f.Handle(0x44, "Event", "ready");
  const FrameRecord inner = f.WaitFrame("NtWaitForSingleObject", {0x99, 0, 0}, kStack + 0x100);
  const FrameRecord middle = f.WaitFrame("WaitForSingleObject", {0x44, 0xFFFFFFFF}, kStack + 0x140);
  FrameRecord user;
  user.pc = 0x00401000;
  std::vector<FrameRecord> frames = {inner, middle, user, user, user, user, user};
  frames.push_back(f.WaitFrame("GetMessageW", {0, 0, 0, 0}, kStack + 0x200));
  EXPECT_EQ(f.Line(frames), "Thread 0x1c waits for event 00000044 \"ready\"");
  frames.erase(frames.begin() + 3, frames.begin() + 6);  // the message wait close enough to join the group
  EXPECT_EQ(f.Line(frames), "Thread 0x1c waits for messages");
}

TEST(WaitChains, SuspendedThreadWithoutWaitCall) {
  WaitFixture f;
  f.Thread(0x1c);
  sim::target().threads[0].suspendCount = 1;
  EXPECT_EQ(f.Line({}), "Thread 0x1c is suspended");
  EXPECT_EQ(sim::target().threads[0].suspendCount, 1u);
}

}  // namespace

namespace {

// Wine's system call frame holds the wrapper's return address once more a few words up, and
// the wrapper's arguments above that.
TEST(WaitChains, SystemCallWithoutItsWrapperFrame) {
  struct Case {
    const char* function;
    std::vector<DWORD> callWords;
    std::vector<DWORD> wrapperWords;
    bool scanned;
    const char* text;
  } cases[] = {
      {"NtDelayExecution", {kStack + 0x300, 0x00401234}, {3600000}, true, "Thread 0x1c sleeps for 3600000 ms"},
      {"NtDelayExecution", {kStack + 0x300, 0x00401234}, {0xFFFFFFFF}, true, "Thread 0x1c sleeps forever"},
      {"NtUserMessageCall", {0, 0x00401234}, {0x10040, 0x401, 0, 0}, true,
       "Thread 0x1c waits for window 00010040 of thread 0x1d to answer message 0401"},
      {"NtWaitForSingleObject", {0, 0x00401234}, {0x44, 0xFFFFFFFF}, true, "Thread 0x1c waits for event 00000044"},
      {"NtDelayExecution", {kStack + 0x300, 0x11111111, kStack + 0x300, 0x00401234, 250}, {}, false,
       "Thread 0x1c sleeps for 250 ms"},
      // No second return address: the words are the call's own.
      {"NtDelayExecution", {0, 0}, {3600000}, false, "Thread 0x1c sleeps forever"},
  };
  for (const Case& c : cases) {
    WaitFixture f;
    f.Thread(0x1c);
    f.Thread(0x1d);
    f.Handle(0x44, "Event");
    sim::target().windows = {{0x10040, 0x1d, sim::target().processId}};
    FrameRecord call = f.WaitFrame(c.function, c.callWords, kStack + 0x100);
    call.returnAddress = 0x00401234;
    FrameRecord wrapper;
    wrapper.pc = 0x00401200;
    wrapper.returnAddress = 0x00401234;
    wrapper.returnSlot = kStack + 0x200;
    wrapper.source = c.scanned ? FrameSource::Scan : FrameSource::Unwind;
    std::vector<BYTE> bytes;
    for (DWORD word : c.wrapperWords) {
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<BYTE>(word >> (8 * i)));
    }
    if (c.scanned) sim::Fill(kStack + 0x10c, bytes);  // above the second return address
    EXPECT_EQ(f.Line({call, wrapper}), c.text) << c.function;
  }
}

}  // namespace
