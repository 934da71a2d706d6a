#include <gtest/gtest.h>

#include <algorithm>

#include "report/report.h"
#include "session/keep_running.h"
#include "test_support.h"

namespace {

// A target with two threads and two modules, attached by its script of events.
struct LoopFixture : SessionFixture {
  LoopFixture() {
    sim::target().symbolsActive = false;
    sim::AddModule("C:\\app\\prog.exe", 0x00400000, 0x3c000);
    sim::AddModule("C:\\windows\\system32\\ntdll.dll", 0x7bc00000, 0x2ba000);
    sim::AddThread(0x24);
    sim::AddThread(0xe4);
    sim::ScriptAttachEvents();
    session->options.symbolTableEnabled = false;
    session->options.memoryDumpEnabled = false;
  }
  DEBUG_EVENT& Event(size_t i) { return sim::target().events[i]; }
};

TEST(DebugLoop, AttachFillsTablesAndEndsTheTarget) {
  LoopFixture f;
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(f.log.lines, (std::vector<std::string>{"debug_event hProcess:124",
                                                    "Attach C:\\app\\prog.exe Base=0x00400000",
                                                    "Attach C:\\windows\\system32\\ntdll.dll Base=0x7bc00000"}));
  ASSERT_EQ(f.session->threads.size(), 2u);
  EXPECT_EQ(f.session->threads[0].threadId, 0x24u);
  EXPECT_EQ(f.session->threads[1].threadId, 0xe4u);
  ASSERT_EQ(f.session->modules.size(), 2u);
  EXPECT_EQ(f.session->modules[1].base, 0x7bc00000u);
  EXPECT_EQ(f.session->modules[1].size, 0x2ba000u);
  EXPECT_EQ(f.session->targetPath, "C:\\app\\prog.exe");
  EXPECT_EQ(f.session->processId, 1234u);
  EXPECT_EQ(sim::target().symbolSearchPath, "C:\\app;");
  EXPECT_TRUE(sim::target().symbolsInvaded);
  // Loaded as look-ups need them, and names still undecorated.
  EXPECT_EQ(sim::target().symbolOptionsAtStart, static_cast<DWORD>(SYMOPT_UNDNAME | SYMOPT_DEFERRED_LOADS));
  EXPECT_TRUE(sim::target().terminated);
  EXPECT_FALSE(sim::target().symbolsActive);  // shut down after the report
  // Creation events continue, the breakpoint goes back unhandled, the exit is not continued.
  EXPECT_EQ(sim::Continues(),
            (std::vector<DWORD>{DBG_CONTINUE, DBG_CONTINUE, DBG_CONTINUE, DBG_EXCEPTION_NOT_HANDLED}));
  std::string report = WithoutWaitChains(f.Report());
  EXPECT_EQ(report.find("C:\\app\\prog.exe (pid=1234)\r\n10/9/2001 14:5:7:123\r\n"
                        "(00400000 - 0043c000) C:\\app\\prog.exe\r\n"
                        "(7bc00000 - 7beba000) C:\\windows\\system32\\ntdll.dll\r\n\r\n"
                        "State Dump for Thread ID 0x24\r\n"),
            0u);
  EXPECT_NE(report.find("State Dump for Thread ID 0xe4\r\n"), std::string::npos);
}

TEST(DebugLoop, RefusedAttachLogsAndWaitsForNothing) {
  LoopFixture f;
  EXPECT_FALSE(f.session->RunDebugLoop(99));
  EXPECT_EQ(f.log.lines, std::vector<std::string>{"Can't attach to process 99 (e=87)"});
  EXPECT_EQ(sim::Calls("WaitForDebugEvent"), 0);
  EXPECT_EQ(f.Report(), "");
}

TEST(DebugLoop, OwnProcessIsRefused) {
  LoopFixture f;
  sim::target().processId = sim::target().currentProcessId;
  sim::target().attachAllowed = false;
  EXPECT_FALSE(f.session->RunDebugLoop(sim::target().currentProcessId));
  EXPECT_EQ(f.log.lines, std::vector<std::string>{"Can't attach to process 4242 (e=5)"});
}

TEST(DebugLoop, TokenFailureStopsBeforeAttaching) {
  LoopFixture f;
  sim::target().tokenOpenFails = true;
  EXPECT_FALSE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(f.log.lines, std::vector<std::string>{"Can't get process token (e=5)"});
  EXPECT_EQ(sim::Calls("DebugActiveProcess"), 0);
}

TEST(DebugLoop, LargerPreviousStateIsRetriedOnce) {
  LoopFixture f;
  sim::target().adjustReturnLength = 4096;
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(sim::Calls("AdjustTokenPrivileges"), 2);
  EXPECT_EQ(sim::Calls("DebugActiveProcess"), 1);
}

TEST(DebugLoop, SilentTargetEndsTheLoop) {
  LoopFixture f;
  sim::target().events.clear();
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(f.log.lines, std::vector<std::string>{"WaitForDebugEvent Failed (121)"});
  EXPECT_EQ(sim::Calls("ContinueDebugEvent"), 0);
}

TEST(DebugLoop, UnknownEventsAreLoggedAndContinued) {
  LoopFixture f;
  DEBUG_EVENT odd{};
  odd.dwDebugEventCode = 10;
  DEBUG_EVENT zero{};
  auto& events = sim::target().events;
  events.insert(events.begin() + 1, zero);
  events.insert(events.begin() + 1, odd);
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(f.log.lines[2], "Invalid Debug Event 10");
  EXPECT_EQ(f.log.lines[3], "Invalid Debug Event 0");
  EXPECT_EQ(sim::Continues()[1], static_cast<DWORD>(DBG_CONTINUE));
}

// A thread that exits before the report loses its record: no section, no read of the handle
// the system closed, and the handle is not closed again. An unload keeps the module's record.
TEST(DebugLoop, AnExitedThreadIsGoneAndAnUnloadedModuleStays) {
  LoopFixture f;
  DEBUG_EVENT exitThread{};
  exitThread.dwDebugEventCode = EXIT_THREAD_DEBUG_EVENT;
  exitThread.dwThreadId = 0xe4;
  DEBUG_EVENT unload{};
  unload.dwDebugEventCode = UNLOAD_DLL_DEBUG_EVENT;
  auto& events = sim::target().events;
  events.insert(events.end() - 1, exitThread);
  events.insert(events.end() - 1, unload);
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  ASSERT_EQ(f.session->threads.size(), 1u);
  EXPECT_EQ(f.session->threads[0].threadId, 0x24u);
  EXPECT_EQ(f.session->modules.size(), 2u);
  EXPECT_EQ(sim::Calls("GetThreadContext"), 1);
  const std::vector<HANDLE>& closed = sim::ClosedHandles();
  EXPECT_EQ(std::count(closed.begin(), closed.end(), sim::target().threads[1].handle), 0);
  const std::string report = f.Report();
  EXPECT_NE(report.find("State Dump for Thread ID 0x24\r\n"), std::string::npos);
  EXPECT_EQ(report.find("Thread ID 0xe4"), std::string::npos);
}

// The image file handles the creation and load events deliver are closed, once each, whether
// or not the module gets a record; no handle is closed that the events did not deliver.
TEST(Tables, ImageFileHandlesAreClosedOnce) {
  const HANDLE none = nullptr;
  struct Case {
    const char* name;
    HANDLE mainFile;  // the process-creation event's image file handle
    bool dllKnown;    // the symbol handler knows the DLL
    std::vector<HANDLE> closed;
  };
  const Case cases[] = {
      {"both", sim::ImageFileHandle(0), true, {sim::ImageFileHandle(0), sim::ImageFileHandle(1)}},
      {"DLL unknown to symbols", sim::ImageFileHandle(0), false, {sim::ImageFileHandle(0), sim::ImageFileHandle(1)}},
      {"no main image file", none, true, {sim::ImageFileHandle(1)}},
      {"invalid main image file", INVALID_HANDLE_VALUE, true, {sim::ImageFileHandle(1)}},
  };
  for (const Case& c : cases) {
    LoopFixture f;
    f.Event(0).u.CreateProcessInfo.hFile = c.mainFile;
    sim::target().modules[1].knownToSymbols = c.dllKnown;
    EXPECT_TRUE(f.session->RunDebugLoop(1234)) << c.name;
    std::vector<HANDLE> images;
    for (HANDLE handle : sim::ClosedHandles()) {
      if (handle == sim::ImageFileHandle(0) || handle == sim::ImageFileHandle(1) || handle == INVALID_HANDLE_VALUE ||
          handle == sim::target().processHandle || handle == sim::target().threads[0].handle ||
          handle == sim::target().threads[1].handle) {
        images.push_back(handle);
      }
    }
    EXPECT_EQ(images, c.closed) << c.name;
  }
}

TEST(DebugLoop, SecondExceptionWritesASecondReportWithoutSymbols) {
  LoopFixture f;
  auto& events = sim::target().events;
  events.push_back(events.back());  // a second breakpoint before the exit event
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  std::string report = f.Report();
  size_t first = report.find("C:\\app\\prog.exe (pid=1234)\r\n");
  size_t second = report.find("C:\\app\\prog.exe (pid=1234)\r\n", first + 1);
  EXPECT_EQ(first, 0u);
  EXPECT_NE(second, std::string::npos);
  EXPECT_EQ(sim::Calls("SymCleanup"), 2);
}

// The loop names each event to every listener, in order, after its own tables have it; a
// session without a listener writes nothing and leaves the ending of the target to the report.
TEST(DebugLoop, ListenersHearEachEventInOrder) {
  struct Heard {
    std::vector<std::string> events;
    static void Note(void* context, CLogFile& session, const DEBUG_EVENT& event) {
      char text[48];
      snprintf(text, sizeof text, "%u:%u threads", static_cast<unsigned>(event.dwDebugEventCode),
               static_cast<unsigned>(session.threads.size()));
      static_cast<Heard*>(context)->events.push_back(text);
    }
  };
  LoopFixture f;
  f.session.reset(new CLogFile(f.reportPath.c_str(), f.log.pane));
  Heard heard;
  DebugEventListener all{&Heard::Note, &Heard::Note, &Heard::Note, &Heard::Note,
                         &Heard::Note, &Heard::Note, &Heard::Note, &heard};
  f.session->AddListener(all);
  DEBUG_EVENT exitThread{};
  exitThread.dwDebugEventCode = EXIT_THREAD_DEBUG_EVENT;
  exitThread.dwThreadId = 0xe4;
  DEBUG_EVENT exitProcess{};
  exitProcess.dwDebugEventCode = EXIT_PROCESS_DEBUG_EVENT;
  auto& events = sim::target().events;
  events.insert(events.end() - 1, exitThread);
  events.push_back(exitProcess);
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(heard.events, (std::vector<std::string>{"3:1 threads", "2:2 threads", "6:2 threads", "4:1 threads",
                                                    "1:1 threads", "5:1 threads"}));
  EXPECT_FALSE(sim::target().terminated);
  EXPECT_EQ(f.Report(), "");
}

// Module records: which name, and which events make none.
TEST(Tables, ModuleNameFallbacks) {
  LoopFixture f;
  sim::target().modules[1].loadedImageName = "";
  sim::AddModule("", 0x10000000, 0x1000).moduleName = "bare";
  sim::target().modules.back().imageName = "";
  sim::target().modules.back().loadedImageName = "";
  sim::AddModule("", 0x20000000, 0x1000).moduleName = "";
  sim::ScriptAttachEvents();
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  ASSERT_EQ(f.session->modules.size(), 4u);
  EXPECT_EQ(f.session->modules[1].name, "C:\\windows\\system32\\ntdll.dll");  // from ImageName
  EXPECT_EQ(f.session->modules[2].name, "bare");
  EXPECT_EQ(f.session->modules[3].name, "(unknown module)");
  EXPECT_EQ(f.log.lines[4], "Attach  Base=0x20000000");
}

TEST(Tables, EventsWithoutImageOrSymbolsMakeNoRecord) {
  LoopFixture f;
  f.Event(0).u.CreateProcessInfo.hFile = nullptr;
  sim::target().modules[1].knownToSymbols = false;
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(f.log.lines, std::vector<std::string>{"debug_event hProcess:124"});
  EXPECT_TRUE(f.session->modules.empty());
  EXPECT_EQ(f.session->threads.size(), 2u);  // the initial thread still counts
}

TEST(Tables, MainModuleWithoutBackslashGivesEmptySearchPath) {
  LoopFixture f;
  sim::target().mainModulePath = "prog.exe";
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(sim::target().symbolSearchPath, "");
  EXPECT_EQ(f.session->targetPath, "prog.exe");
}

TEST(Tables, SearchPathJoinsDirectoryAndEnvironment) {
  LoopFixture f;
  sim::target().environment = {{"_NT_SYMBOL_PATH", "D:\\sym"}, {"SystemRoot", "C:\\WINNT"}};
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(sim::target().symbolSearchPath, "C:\\app;D:\\sym;C:\\WINNT;");
}

TEST(Tables, DuplicateThreadIdsGiveTwoRecords) {
  LoopFixture f;
  f.session->AddThread(nullptr, 7);
  f.session->AddThread(nullptr, 7);
  EXPECT_EQ(f.session->threads.size(), 2u);
}

// The same target dumped with keepRunning set.
struct KeepRunningFixture : LoopFixture {
  KeepRunningFixture() { session->options.keepRunning = true; }
};

using Calls = std::vector<std::string>;

TEST(KeepRunning, ReportThenDetachWithTheBreakpointHandled) {
  KeepRunningFixture f;
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(sim::DebugControlCalls(),
            (Calls{"DebugActiveProcess", "DebugSetProcessKillOnExit(0)", "ContinueDebugEvent(0x10002)",
                   "ContinueDebugEvent(0x10002)", "ContinueDebugEvent(0x10002)", "ContinueDebugEvent(0x10002)",
                   "DebugActiveProcessStop"}));
  EXPECT_EQ(sim::Calls("TerminateProcess"), 0);
  EXPECT_EQ(sim::Calls("CreateThread"), 0);  // no terminating worker
  EXPECT_FALSE(sim::target().terminated);
  EXPECT_FALSE(sim::target().debuggerAttached);
  EXPECT_FALSE(sim::target().killOnExit);
  EXPECT_FALSE(sim::target().symbolsActive);  // the symbol handler is shut down all the same
  EXPECT_EQ(f.log.lines, (std::vector<std::string>{"debug_event hProcess:124",
                                                   "Attach C:\\app\\prog.exe Base=0x00400000",
                                                   "Attach C:\\windows\\system32\\ntdll.dll Base=0x7bc00000"}));
  const std::string report = f.Report();
  EXPECT_NE(report.find("State Dump for Thread ID 0x24\r\n"), std::string::npos);
  EXPECT_NE(report.find("State Dump for Thread ID 0xe4\r\n"), std::string::npos);
}

// The report is the one the target-ending dump writes, byte for byte.
TEST(KeepRunning, SameReportAsWhenTheTargetEnds) {
  std::string reports[2];
  for (int keep = 0; keep < 2; ++keep) {
    KeepRunningFixture f;
    f.session->options.keepRunning = keep != 0;
    f.session->options.memoryDumpEnabled = true;
    sim::AddRegion(0x00400000, 0x1000, PAGE_READONLY, MEM_IMAGE);
    EXPECT_TRUE(f.session->RunDebugLoop(1234));
    EXPECT_EQ(sim::target().terminated, keep == 0);
    reports[keep] = f.Report();
  }
  EXPECT_EQ(reports[0], reports[1]);
  EXPECT_NE(reports[0].find("*----> Commited Memory (0x00400000-    4096) r-- I <----*\r\n"), std::string::npos);
}

// Any other exception goes back unhandled, as it would without a debugger; the session
// still detaches after its report.
TEST(KeepRunning, AnExceptionOfTheTargetStaysItsOwn) {
  KeepRunningFixture f;
  sim::target().events.back().u.Exception.ExceptionRecord.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  ASSERT_GE(sim::DebugControlCalls().size(), 2u);
  const Calls& calls = sim::DebugControlCalls();
  EXPECT_EQ(calls[calls.size() - 2], "ContinueDebugEvent(0x80010001)");
  EXPECT_EQ(calls.back(), "DebugActiveProcessStop");
  EXPECT_FALSE(sim::target().terminated);
}

// Only the first exception is reported: after it the session is no longer the debugger.
TEST(KeepRunning, OneReportEvenWithASecondException) {
  KeepRunningFixture f;
  DEBUG_EVENT second = sim::target().events.back();
  sim::target().events.push_back(second);
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(sim::Calls("WaitForDebugEvent"), 4);
  const std::string report = f.Report();
  EXPECT_EQ(report.find("(pid=1234)"), report.rfind("(pid=1234)"));
}

TEST(KeepRunning, FailuresAreLoggedAndTheTargetIsNotEnded) {
  KeepRunningFixture f;
  sim::target().detachAllowed = false;
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(f.log.lines.back(), "Can't detach from process 1234 (e=5)");
  EXPECT_EQ(sim::Calls("TerminateProcess"), 0);
  EXPECT_FALSE(sim::target().terminated);
}

// Without a debuggee the platform refuses the setting; the line says so.
TEST(KeepRunning, KillOnExitRefusedIsLogged) {
  KeepRunningFixture f;
  KeepTargetAfterDebuggerEnds(*f.session);
  EXPECT_EQ(f.log.lines, std::vector<std::string>{"DebugSetProcessKillOnExit failed (6)"});
  EXPECT_TRUE(sim::target().killOnExit);
}

// The wizard's path is unchanged: the target is ended and the breakpoint goes back unhandled.
TEST(KeepRunning, WithoutItTheTargetIsEnded) {
  KeepRunningFixture f;
  f.session->options.keepRunning = false;
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(sim::DebugControlCalls(),
            (Calls{"DebugActiveProcess", "ContinueDebugEvent(0x10002)", "ContinueDebugEvent(0x10002)",
                   "ContinueDebugEvent(0x10002)", "TerminateProcess", "ContinueDebugEvent(0x80010001)"}));
  EXPECT_TRUE(sim::target().terminated);
  EXPECT_TRUE(sim::target().killOnExit);
}

}  // namespace
