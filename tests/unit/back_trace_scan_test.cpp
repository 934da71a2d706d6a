// The back trace of stacks the platform's walker cannot follow: code without frame pointers,
// stale return addresses and code-like data on the stack, recursion, a callback through a
// system DLL, a stack that ends in garbage and a guard page in the scanned range. Every
// return address shown unmarked is one a call made; the scan's frames carry " [scan]".
#include <gtest/gtest.h>

#include <stdio.h>

#include "report/back_trace.h"
#include "report/call_site.h"
#include "tests/unit/code_module.h"
#include "tests/unit/back_trace_support.h"

namespace {

using code_module::CallDirect;
using code_module::CallRegister;
using code_module::CallThrough;

constexpr DWORD kProg = 0x400000;
constexpr DWORD kFnA = 0x401100, kFnB = 0x401200, kFnC = 0x401300, kFnMain = 0x401400, kFnR = 0x401500;
constexpr DWORD kFnCb = 0x401600, kWorker = 0x401700, kFnX = 0x401800;
constexpr DWORD kData = 0x409000;
constexpr DWORD kKernel = 0x7b000000, kThreadInit = 0x7b001100, kEnum = 0x7b001200;
constexpr DWORD kNtdll = 0x7bc00000, kUserStart = 0x7bc01100;
constexpr DWORD kStack = 0x120000, kStackSize = 0x10000;
constexpr DWORD kEsp = kStack + 0x8000;

struct ScanFixture : TraceFixture {
  explicit ScanFixture(bool plainStack = true) {
    session->options.instructionCount = 1;
    Module("C:\\app\\prog.exe", kProg);
    Module("C:\\windows\\system32\\kernel32.dll", kKernel);
    Module("C:\\windows\\system32\\ntdll.dll", kNtdll);
    const struct {
      const char* name;
      DWORD address;
    } functions[] = {{"fn_a", kFnA},       {"fn_b", kFnB},       {"fn_c", kFnC},     {"fn_main", kFnMain},
                     {"fn_r", kFnR},       {"fn_cb", kFnCb},     {"worker", kWorker}, {"fn_x", kFnX},
                     {"BaseThreadInitThunk", kThreadInit}, {"EnumThings", kEnum}, {"RtlUserThreadStart", kUserStart}};
    for (const auto& function : functions) sim::AddSymbol(function.name, function.address, 0x100);
    if (plainStack) sim::AddRegion(kStack, kStackSize);
  }
  void Module(const char* path, DWORD base) {
    code_module::Add(path, base, 0x10000, 0x8000);
    session->AddModule(CModule(path, base, 0x10000));
  }
  // Words on the stack from address on.
  void Stack(DWORD address, const std::vector<DWORD>& words) {
    for (DWORD word : words) {
      sim::Fill(address, {static_cast<BYTE>(word), static_cast<BYTE>(word >> 8), static_cast<BYTE>(word >> 16),
                          static_cast<BYTE>(word >> 24)});
      address += 4;
    }
  }
};


std::string Line(DWORD frame, DWORD returnAddress, const std::vector<DWORD>& params, const char* rest) {
  char text[128];
  snprintf(text, sizeof text, "%08x %08x %08x %08x %08x %08x %s", static_cast<unsigned>(frame),
           static_cast<unsigned>(returnAddress), static_cast<unsigned>(params[0]), static_cast<unsigned>(params[1]),
           static_cast<unsigned>(params[2]), static_cast<unsigned>(params[3]), rest);
  return text;
}

// The chain worker -> fn_c -> fn_b -> fn_a, entered from kernel32 and ntdll, with no frame
// pointers: the walker fails at once (EBP 0), and the scan finds every caller.
struct Chain {
  DWORD b, c, w, k, n;  // the return addresses into fn_b, fn_c, worker, BaseThreadInitThunk, RtlUserThreadStart
  Chain() {
    b = CallDirect(kFnB + 0x10, kFnA);
    c = CallDirect(kFnC + 0x10, kFnB);
    w = CallDirect(kWorker + 0x10, kFnC);
    k = CallRegister(kThreadInit + 0x10);
    n = CallRegister(kUserStart + 0x10);
  }
};

}  // namespace

TEST(BackTraceScan, FramesWithoutFramePointersComeFromTheScanAndAreMarked) {
  ScanFixture f;
  Chain chain;
  // Between the return addresses: a local, a pointer into .data, a function pointer (no call
  // ends there), an address in code after no call, a stack address.
  f.Stack(kEsp, {5, kData + 0x10, chain.b, 7, kFnB, kFnC + 0x20, chain.c, kEsp + 0x40, chain.w, 0x11, chain.k, 0,
                 chain.n, 0, chain.w, chain.c});
  f.Start(kFnA + 0x20, kEsp, 0);
  const std::string text = f.Trace();
  EXPECT_EQ(FrameLines(text), (std::vector<std::string>{
                                  Line(kEsp + 4, chain.b, {7, kFnB, kFnC + 0x20, chain.c}, "prog!fn_a [scan] "),
                                  Line(kEsp + 0x14, chain.c, {kEsp + 0x40, chain.w, 0x11, chain.k}, "prog!fn_b [scan] "),
                                  Line(kEsp + 0x1c, chain.w, {0x11, chain.k, 0, chain.n}, "prog!fn_c [scan] "),
                                  Line(kEsp + 0x24, chain.k, {0, chain.n, 0, chain.w}, "prog!worker [scan] "),
                                  Line(0, 0, {0, 0, 0, 0}, "kernel32!BaseThreadInitThunk "),
                              }));
  // The stack above the thread's start routines is not searched: the stale chain.w there
  // stays out. The listing after a frame shows the call that made its return address.
  char call[64];
  snprintf(call, sizeof call, "        %08x e8", static_cast<unsigned>(chain.b - 5));
  EXPECT_NE(text.find(std::string("function: fn_b\r\n") + call), std::string::npos) << text;
  EXPECT_EQ(sim::target().stackWalkProcess, sim::target().processHandle);
}

TEST(BackTraceScan, StaleReturnAddressOfAnEarlierCallIsPassedOver) {
  ScanFixture f;
  Chain chain;
  // fn_b once called fn_x, which lies above fn_a: that return address is stale.
  const DWORD stale = CallDirect(kFnB + 0x40, kFnX);
  // And fn_c once called fn_b directly: a right call, but not of the function fn_a's frame runs in.
  f.Stack(kEsp, {stale, 0, chain.b, 1, 2, 3, 4, 0, 0, 0});
  f.Start(kFnA + 0x20, kEsp, 0);
  const std::vector<std::string> lines = FrameLines(f.Trace());
  ASSERT_GE(lines.size(), 1u);
  EXPECT_EQ(lines[0], Line(kEsp + 4, chain.b, {1, 2, 3, 4}, "prog!fn_a [scan] "));
}

TEST(BackTraceScan, WithoutSymbolsTheCallOfTheHighestFittingFunctionWins) {
  ScanFixture f;
  f.Module("C:\\app\\bare.exe", 0x500000);  // no symbols at all
  const DWORD g1 = 0x501100, g2 = 0x501200, g3 = 0x501300;
  // g2 once called g1 (below g3: it fits as well) and now calls g3, which runs.
  const DWORD stale = CallDirect(g2 + 0x10, g1), right = CallDirect(g2 + 0x20, g3);
  f.Stack(kEsp, {stale, 1, right, 2, 3, 4, 5});
  f.Start(g3 + 0x20, kEsp, 0);
  const std::vector<std::string> lines = FrameLines(f.Trace());
  ASSERT_GE(lines.size(), 1u);
  EXPECT_EQ(lines[0], Line(kEsp + 4, right, {2, 3, 4, 5}, "bare!<nosymbols> [scan] "));
}

TEST(BackTraceScan, RecursionKeepsEveryFrame) {
  ScanFixture f;
  const DWORD self = CallDirect(kFnR + 0x30, kFnR);
  const DWORD fromMain = CallDirect(kFnMain + 0x10, kFnR);
  f.Stack(kEsp, {self, 1, self, 2, self, 3, fromMain, 4, 0, 0, 0, 0});
  f.Start(kFnR + 0x50, kEsp, 0);
  const std::vector<std::string> lines = FrameLines(f.Trace());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[4], Line(0, 0, {0, 0, 0, 0}, "prog!fn_main "));
  EXPECT_EQ(lines[0], Line(kEsp - 4, self, {1, self, 2, self}, "prog!fn_r [scan] "));
  EXPECT_EQ(lines[1], Line(kEsp + 4, self, {2, self, 3, fromMain}, "prog!fn_r [scan] "));
  EXPECT_EQ(lines[2], Line(kEsp + 12, self, {3, fromMain, 4, 0}, "prog!fn_r [scan] "));
  EXPECT_EQ(lines[3], Line(kEsp + 20, fromMain, {4, 0, 0, 0}, "prog!fn_r [scan] "));
}

TEST(BackTraceScan, CallbackThroughASystemDll) {
  ScanFixture f;
  // fn_main calls kernel32's EnumThings through its import slot; EnumThings calls fn_cb
  // through a register; fn_cb waits in fn_a.
  const DWORD slot = kData + 0x100;
  f.Stack(slot, {kEnum});
  const DWORD intoMain = CallThrough(kFnMain + 0x10, slot);
  const DWORD intoEnum = CallRegister(kEnum + 0x30);
  const DWORD intoCb = CallDirect(kFnCb + 0x10, kFnA);
  f.Stack(kEsp, {intoCb, 0x22, intoEnum, 0x33, intoMain, 0x44, 0, 0, 0, 0});
  f.Start(kFnA + 0x20, kEsp, 0);
  const std::vector<std::string> lines = FrameLines(f.Trace());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(9, 8 + 1) + lines[0].substr(54), "00401615 prog!fn_a [scan] ");
  EXPECT_EQ(lines[1].substr(9, 8 + 1) + lines[1].substr(54), "7b001232 prog!fn_cb [scan] ");
  EXPECT_EQ(lines[2].substr(9, 8 + 1) + lines[2].substr(54), "00401416 kernel32!EnumThings [scan] ");
  // fn_main's own caller is not on this stack: its frame ends the trace, nothing invented.
  EXPECT_EQ(lines[3], Line(0, 0, {0, 0, 0, 0}, "prog!fn_main "));
}

TEST(BackTraceScan, StackEndingInGarbageEndsTheTrace) {
  ScanFixture f;
  Chain chain;
  std::vector<DWORD> words = {chain.b, 0};
  // Above: words that only look like code addresses (in fn_b after no call, in .data) and
  // the stale return address of fn_b's call of fn_a, far more than one scan looks at.
  for (DWORD i = 0; i < 3 * kScanWords; ++i) {
    words.push_back(i % 50 == 0 ? chain.b : i % 3 == 0 ? kFnB + 0x20 + (i & 0x3f) : kData + i);
  }
  f.Stack(kEsp, words);
  f.Start(kFnA + 0x20, kEsp, 0);
  const std::string text = f.Trace();
  const std::vector<std::string> lines = FrameLines(text);
  ASSERT_EQ(lines.size(), 2u) << text;
  EXPECT_EQ(lines[0].substr(54), "prog!fn_a [scan] ");
  EXPECT_EQ(lines[1].substr(9, 9) + lines[1].substr(54), "00000000 prog!fn_b ");
}

TEST(BackTraceScan, WalkerFramesThatCheckOutPrintAsBeforeAndABadOneIsReplaced) {
  ScanFixture f;
  Chain chain;
  // An EBP chain: fn_a's frame is right, fn_b's frame claims a return address after no call.
  const DWORD f0 = kEsp + 0x10, f1 = kEsp + 0x40;
  f.Stack(f0, {f1, chain.b, 1, 2, 3, 4});
  f.Stack(f1, {kEsp + 0x100, kFnC + 0x20, 5, 6, 7, 8, chain.c, 9, 10, 11, 12});
  f.Start(kFnA + 0x20, kEsp, f0);
  const std::vector<std::string> lines = FrameLines(f.Trace());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], Line(f0, chain.b, {1, 2, 3, 4}, "prog!fn_a "));
  EXPECT_EQ(lines[1], Line(f1 + 0x14, chain.c, {9, 10, 11, 12}, "prog!fn_b [scan] "));
}

TEST(BackTraceScan, GuardPageInTheScannedRangeIsReadAsWindowsReadsIt) {
  ScanFixture f(false);
  Chain chain;
  const DWORD guard = kEsp + 0x1000;
  // One allocation, as a thread's stack is.
  sim::AddRegion(kStack, guard - kStack);
  sim::AddRegion(guard, 0x1000, PAGE_READWRITE | PAGE_GUARD).allocationBase = kStack;
  sim::AddRegion(guard + 0x1000, kStack + kStackSize - guard - 0x1000).allocationBase = kStack;
  // fn_a's frame is large: its return address lies in the guard page.
  f.Stack(guard + 0x20, {chain.b, 0, chain.c, 0});
  f.Start(kFnA + 0x20, kEsp, 0);
  const std::vector<std::string> lines = FrameLines(f.Trace());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 18) + lines[0].substr(54), "0012901c 00401215 prog!fn_a [scan] ");
  EXPECT_EQ(lines[1].substr(9, 9) + lines[1].substr(54), "00401315 prog!fn_b [scan] ");
  // The first touch of the page cleared its guard, as on Windows.
  MEMORY_BASIC_INFORMATION info;
  VirtualQueryEx(sim::target().processHandle, reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(guard)), &info,
                 sizeof info);
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READWRITE));
}

// Which bytes before an address make it a return address.
TEST(CallSite, EveryCallFormAndWhatIsNone) {
  ScanFixture f;
  const struct {
    std::vector<BYTE> bytes;
    bool call;
    bool direct;
    CallKind kind = CallKind::Indirect;
  } rows[] = {
      {{0xE8, 0x10, 0x00, 0x00, 0x00}, true, true, CallKind::Direct},              // call rel32
      {{0x9A, 0x00, 0x10, 0x40, 0x00, 0x1b, 0x00}, true, true, CallKind::Far},     // call far ptr16:32
      {{0xFF, 0xD0}, true, false},                                     // call eax
      {{0xFF, 0x10}, true, false},                                     // call [eax]
      {{0xFF, 0x14, 0x24}, true, false},                               // call [esp]
      {{0xFF, 0x50, 0x08}, true, false},                               // call [eax+8]
      {{0xFF, 0x54, 0x24, 0x08}, true, false},                         // call [esp+8]
      {{0xFF, 0x15, 0x00, 0x91, 0x40, 0x00}, true, false},             // call [disp32]
      {{0xFF, 0x90, 0x00, 0x01, 0x00, 0x00}, true, false},             // call [eax+disp32]
      {{0xFF, 0x14, 0x85, 0x00, 0x91, 0x40, 0x00}, true, false},       // call [eax*4+disp32]
      {{0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00}, true, false},       // call [esp+disp32]
      {{0xFF, 0xE0}, false, false},                                    // jmp eax
      {{0xFF, 0x1D, 0x00, 0x91, 0x40, 0x00}, false, false},            // call far [disp32]: not /2
      {{0xE9, 0x10, 0x00, 0x00, 0x00}, false, false},                  // jmp rel32
      {{0x66, 0xE8, 0x10, 0x00}, false, false},                        // call rel16: prefixed
      {{0xB8, 0xE8, 0x00, 0x00, 0x00}, false, false},                  // mov eax,0xe8
      {{0xFF, 0x15, 0x00, 0x91, 0x40}, false, false},                  // a call that ends a byte later
  };
  // The target is stopped: its code is written first, then read.
  std::vector<DWORD> ends;
  DWORD at = kFnA;
  for (const auto& row : rows) {
    sim::Fill(at, row.bytes);
    ends.push_back(at + static_cast<DWORD>(row.bytes.size()));
    at = ends.back() + 0x10;
  }
  const DWORD direct = CallDirect(kFnX, kFnA);
  for (size_t i = 0; i < ends.size(); ++i) {
    CallSite site;
    EXPECT_EQ(CallEndsAt(f.session->target, ends[i], &site), rows[i].call) << i;
    if (rows[i].call) {
      EXPECT_EQ(site.direct(), rows[i].direct) << i;
      EXPECT_EQ(site.kind, rows[i].kind) << i;
      EXPECT_EQ(site.length, rows[i].bytes.size()) << i;
    }
  }
  // A direct call's target.
  CallSite site;
  ASSERT_TRUE(CallEndsAt(f.session->target, direct, &site));
  EXPECT_EQ(site.target, kFnA);
  // Right after a call, but not in an executable section of a module of the table.
  const DWORD inData = kData + 0x20;
  sim::Fill(inData - 2, {0xFF, 0xD0});
  EXPECT_FALSE(CallEndsAt(f.session->target, inData, nullptr));
  sim::AddRegion(0x500000, 0x1000, PAGE_EXECUTE_READ, MEM_PRIVATE).bytes = {0xFF, 0xD0};
  EXPECT_FALSE(CallEndsAt(f.session->target, 0x500002, nullptr));
  // A module whose headers cannot be read has no code to believe in, and says so once.
  f.session->AddModule(CModule("C:\\app\\bare.dll", 0x600000, 0x10000));
  sim::AddRegion(0x601000, 0x1000, PAGE_EXECUTE_READ, MEM_IMAGE).bytes = {0xFF, 0xD0};
  EXPECT_FALSE(CallEndsAt(f.session->target, 0x601002, nullptr));
  EXPECT_FALSE(CallEndsAt(f.session->target, 0x601002, nullptr));
  EXPECT_EQ(f.log.lines, (std::vector<std::string>{"Return addresses in C:\\app\\bare.dll not believed: no readable MZ header"}));
}

// Bytes that decode two ways before a return address: "mov al,0xe8" then four nops, or the
// call "e8 90909090" that made it. The listing around a return address shows the call.
TEST(BackTraceScan, ListingAroundAReturnAddressShowsTheCall) {
  ScanFixture f;
  f.Module("C:\\app\\bare.exe", 0x500000);  // no symbols: the listing starts 50 bytes before
  const DWORD returnAddress = 0x501240;
  sim::Fill(returnAddress - 6, {0xB0, 0xE8, 0x90, 0x90, 0x90, 0x90});
  WriteCodeListing(*f.session, f.thread, returnAddress);
  WriteReturnAddressListing(*f.session, f.thread, returnAddress);
  const std::string text = f.Report();
  const size_t second = text.find("function: <nosymbols>", 1);
  ASSERT_NE(second, std::string::npos);
  const std::string plain = text.substr(0, second), throughCall = text.substr(second);
  // Any start meets the address through the move; only the call's own start meets it
  // through the call.
  EXPECT_EQ(plain.find("call"), std::string::npos) << plain;
  const std::string head = "function: <nosymbols>\r\n        0050123b e890909090       call    ";
  EXPECT_EQ(throughCall.substr(0, head.size()), head);
  char line[64];
  snprintf(line, sizeof line, "        %08x 90               nop\r\n", static_cast<unsigned>(returnAddress));
  EXPECT_NE(throughCall.find(line), std::string::npos);
}

// The walker follows a frame pointer that fn_a and its callers never kept: it returns from
// the thread's start routine at once. The direct call of fn_a below gives the skip away.
TEST(BackTraceScan, WalkerThatSkipsFramesByAStaleFramePointerIsCorrected) {
  ScanFixture f;
  Chain chain;
  const DWORD outer = kEsp + 0x40;
  f.Stack(kEsp, {1, chain.b, 2, chain.c, 3, chain.w});
  f.Stack(outer, {0, chain.k, 0, 0, 0, 0});
  f.Start(kFnA + 0x20, kEsp, outer);
  const std::vector<std::string> lines = FrameLines(f.Trace());
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], Line(kEsp, chain.b, {2, chain.c, 3, chain.w}, "prog!fn_a [scan] "));
  EXPECT_EQ(lines[1].substr(9, 9) + lines[1].substr(54), "00401315 prog!fn_b [scan] ");
  EXPECT_EQ(lines[2].substr(9, 9) + lines[2].substr(54), "00401715 prog!fn_c [scan] ");
  // worker did keep its frame pointer: the walker's frame there checks out.
  EXPECT_EQ(lines[3].substr(0, 18) + lines[3].substr(54), "00128040 7b001112 prog!worker ");
}

namespace {

// What a walk gave: per frame its return address and " [scan]" when the scan found it.
struct WalkResult {
  std::vector<std::string> frames;
  bool slotsRise = true;
  uint32_t wordsScanned = 0;
};

WalkResult Walk(ScanFixture& f) {
  WalkResult result;
  CFrameWalk walk(f.session->target, f.thread);
  FrameRecord frame;
  uint32_t lastSlot = 0;
  while (walk.Next(&frame)) {
    char text[32];
    snprintf(text, sizeof text, "%08x%s", static_cast<unsigned>(frame.returnAddress), frame.scanned() ? " [scan]" : "");
    result.frames.push_back(text);
    if (frame.returnSlot != 0 && frame.returnSlot <= lastSlot) result.slotsRise = false;
    if (frame.returnSlot != 0) lastSlot = frame.returnSlot;
  }
  result.wordsScanned = walk.work().wordsScanned;
  return result;
}

std::string Shown(DWORD returnAddress, bool scanned) {
  char text[32];
  snprintf(text, sizeof text, "%08x%s", static_cast<unsigned>(returnAddress), scanned ? " [scan]" : "");
  return text;
}

// The true chain of Chain on the stack at kEsp, among noise, as the scan finds it.
std::vector<DWORD> ChainWords(const Chain& chain) {
  return {5, kData + 0x10, chain.b, 7, kFnB, kFnC + 0x20, chain.c, kEsp + 0x40, chain.w, 0x11, chain.k, 0, chain.n, 0};
}
std::vector<std::string> ChainShown(const Chain& chain) {
  return {Shown(chain.b, true), Shown(chain.c, true), Shown(chain.w, true), Shown(chain.k, true), Shown(0, false)};
}

}  // namespace

// Stacks and frame pointers that no walk should follow: the work stays bounded, no frame
// comes twice, every slot lies higher than the one before, and the trace ends.
TEST(BackTraceScan, BadStacksEndCleanly) {
  const struct Row {
    const char* what;
    void (*set)(ScanFixture& f, const Chain& chain);
    std::vector<std::string> (*expected)(const Chain& chain);
  } rows[] = {
      {"one return address repeated: it is fn_a's caller once, and nobody's after",
       [](ScanFixture& f, const Chain& chain) {
         f.Stack(kEsp, std::vector<DWORD>(3000, chain.b));
         f.Start(kFnA + 0x20, kEsp, 0);
       },
       [](const Chain& chain) { return std::vector<std::string>{Shown(chain.b, true), Shown(0, false)}; }},
      {"a recursion deeper than the limit: exactly the limit",
       [](ScanFixture& f, const Chain&) {
         code_module::CallDirect(kFnR + 0x30, kFnR);
         f.Stack(kEsp, std::vector<DWORD>(150, kFnR + 0x35));
         f.Start(kFnR + 0x50, kEsp, 0);
       },
       [](const Chain&) { return std::vector<std::string>(kMaxFrames, Shown(kFnR + 0x35, true)); }},
      {"a frame pointer below the stack pointer, at a believable frame",
       [](ScanFixture& f, const Chain& chain) {
         f.Stack(kEsp - 0x40, {kEsp - 0x20, CallDirect(kFnB + 0x60, kFnA), 1, 2, 3, 4});
         f.Stack(kEsp, ChainWords(chain));
         f.Start(kFnA + 0x20, kEsp, kEsp - 0x40);
       },
       ChainShown},
      {"a frame pointer into the next allocation, another thread's stack",
       [](ScanFixture& f, const Chain& chain) {
         const DWORD other = kStack + kStackSize;
         sim::AddRegion(other, 0x10000);
         f.Stack(other + 0x100, {other + 0x200, CallDirect(kFnB + 0x60, kFnA), 1, 2, 3, 4});
         f.Stack(kEsp, ChainWords(chain));
         f.Start(kFnA + 0x20, kEsp, other + 0x100);
       },
       ChainShown},
      {"a scan that reaches the top of the stack: the next allocation is not read",
       [](ScanFixture& f, const Chain& chain) {
         const DWORD top = kStack + kStackSize;
         sim::AddRegion(top, 0x1000);
         f.Stack(top - 0x10, {1, 2, 3, 4, chain.b, chain.c});
         f.Start(kFnA + 0x20, top - 0x10, 0);
       },
       [](const Chain&) { return std::vector<std::string>{}; }},
      {"return addresses into modules that unloaded, with and without their table entry",
       [](ScanFixture& f, const Chain& chain) {
         f.session->AddModule(CModule("C:\\app\\gone.dll", 0x600000, 0x10000));
         std::vector<DWORD> words = ChainWords(chain);
         words.insert(words.begin(), {0x601105, 0x701105});
         f.Stack(kEsp - 8, words);
         f.Start(kFnA + 0x20, kEsp - 8, 0);
       },
       ChainShown},
      {"a saved frame pointer that points at itself: its frame once, then the scan",
       [](ScanFixture& f, const Chain& chain) {
         const DWORD ebp = kEsp + 0x10;
         f.Stack(kEsp, {0, 0, 0, 0, ebp, chain.b, 9, chain.c, 0x11, chain.w, 0, chain.k, 0, 0});
         f.Start(kFnA + 0x20, kEsp, ebp);
       },
       [](const Chain& chain) {
         return std::vector<std::string>{Shown(chain.b, false), Shown(chain.c, true), Shown(chain.w, true),
                                         Shown(chain.k, true), Shown(0, false)};
       }},
      {"a frame pointer at the top of the stack: the walker cannot read its frame, the saved-EBP chain can",
       [](ScanFixture& f, const Chain& chain) {
         const DWORD top = kStack + kStackSize;
         f.Stack(top - 8, {0, chain.b});
         f.Start(kFnA + 0x20, top - 0x20, top - 8);
       },
       [](const Chain& chain) { return std::vector<std::string>{Shown(chain.b, false), Shown(0, false)}; }},
      {"a walker that gives a frame returning to its own address over and over: once, then the scan",
       [](ScanFixture& f, const Chain&) {
         sim::target().stackWalkStuckAfter = 1;
         const DWORD self = CallDirect(kFnR + 0x30, kFnR), f0 = kEsp + 0x10;
         // A stale copy of the return address higher up must not make the same frame again.
         f.Stack(f0, {kEsp + 0x100, self, 1, CallDirect(kFnMain + 0x10, kFnR), 2, 0, self});
         f.Start(self, kEsp, f0);
       },
       [](const Chain&) {
         return std::vector<std::string>{Shown(kFnR + 0x35, false), Shown(kFnMain + 0x15, true), Shown(0, false)};
       }},
  };
  for (const Row& row : rows) {
    ScanFixture f;
    Chain chain;
    row.set(f, chain);
    const WalkResult result = Walk(f);
    EXPECT_EQ(result.frames, row.expected(chain)) << row.what;
    EXPECT_TRUE(result.slotsRise) << row.what;
    EXPECT_LE(result.wordsScanned, 2 * kScanWords * (result.frames.size() + 1)) << row.what;
  }
}

// A function that realigns its stack keeps EBP at a copy of the return address below the
// true slot; the walker (here by its FPO record, as an unwinder would) names the true one.
// The parameters are the words above the true slot, the frame pointer the kept EBP.
TEST(BackTraceScan, ParametersLieAboveTheReturnAddressSlot) {
  ScanFixture f;
  Chain chain;
  FPO_DATA fpo{};
  fpo.ulOffStart = kFnA;
  fpo.cbProcSize = 0x100;
  fpo.cdwLocals = 6;
  fpo.cbFrame = FRAME_FPO;
  sim::target().fpo = {fpo};
  // kEsp: the realigned part (saved EBP, the copy of the return address, padding), then
  // the true slot at kEsp + 24 and the caller's arguments.
  f.Stack(kEsp, {kEsp + 0x100, chain.b, 0, 0, 0, 0, chain.b, 0xa1, 0xa2, 0xa3, 0xa4});
  f.Start(kFnA + 0x20, kEsp, kEsp);
  const std::vector<std::string> lines = FrameLines(f.Trace());
  ASSERT_GE(lines.size(), 1u);
  EXPECT_EQ(lines[0], Line(kEsp, chain.b, {0xa1, 0xa2, 0xa3, 0xa4}, "prog!fn_a  (FPO: [0,6,0])"));
  // With EBP elsewhere the frame pointer is the word below the slot.
  ScanFixture g;
  Chain again;
  sim::target().fpo = {fpo};
  g.Stack(kEsp, {0, 0, 0, 0, 0, 0, again.b, 0xb1, 0xb2, 0xb3, 0xb4});
  g.Start(kFnA + 0x20, kEsp, 0x77777777);
  const std::vector<std::string> other = FrameLines(g.Trace());
  ASSERT_GE(other.size(), 1u);
  EXPECT_EQ(other[0], Line(kEsp + 20, again.b, {0xb1, 0xb2, 0xb3, 0xb4}, "prog!fn_a  (FPO: [0,6,0])"));
}

// Where a function without symbol most likely starts: the nearest direct-call target or
// function-pointer immediate at or below the address, in its own executable section.
TEST(CodeSections, FunctionStartAtOrBelow) {
  ScanFixture f;
  f.Module("C:\\app\\bare.exe", 0x500000);
  CallDirect(0x501010, 0x501200);
  CallDirect(0x501020, 0x501400);
  CallDirect(0x501030, 0x501400);  // the same target twice
  CallDirect(0x501040, 0x50a000);  // into .data: no function there
  CallDirect(0x501050, 0x401100);  // into another module
  sim::Fill(0x501060, {0x68, 0x00, 0x16, 0x50, 0x00});                          // push 0x501600
  sim::Fill(0x501070, {0xC7, 0x44, 0x24, 0x04, 0x00, 0x18, 0x50, 0x00});        // mov [esp+4], 0x501800
  sim::Fill(0x501080, {0xB9, 0x00, 0x90, 0x40, 0x00});                          // mov ecx, 0x409000: no code
  const struct {
    DWORD address;
    bool found;
    DWORD start;
  } rows[] = {
      {0x501100, false, 0},        // below every target
      {0x501200, true, 0x501200},  // at a target
      {0x5013ff, true, 0x501200},
      {0x501400, true, 0x501400},
      {0x5015ff, true, 0x501400},
      {0x501700, true, 0x501600},  // a function pointer pushed
      {0x501800, true, 0x501800},  // one stored for a call
      {0x508fff, true, 0x501800},  // the end of .text
      {0x50a000, false, 0},        // not in code
      {0x700000, false, 0},        // in no module
  };
  for (const auto& row : rows) {
    uint32_t start = 0;
    EXPECT_EQ(f.session->moduleImages.FunctionStartAtOrBelow(row.address, &start), row.found)
        << std::hex << row.address;
    if (row.found) EXPECT_EQ(start, row.start) << std::hex << row.address;
  }
}

// A DLL unloaded keeps its record, and another loaded at its place since is the one whose
// headers say where code lies now: the latest record still loaded, else the latest of any.
TEST(CodeSections, PickedByTheRecordLoadedNow) {
  constexpr DWORD kBase = 0x600000, kAt = kBase + 0x1800;
  struct Record {
    const char* path;
    DWORD size;
    bool unloaded;
  };
  const struct {
    const char* what;
    std::vector<Record> records;
    bool headers;  // the image at kBase has its header page (.text from 0x1000 to 0x9000)
    bool found;
    DWORD end;  // of the section that holds kAt
    std::vector<std::string> log;
  } kCases[] = {
      {"reloaded bigger", {{"C:\\app\\old.dll", 0x2000, true}, {"C:\\app\\new.dll", 0x10000, false}}, true, true,
       kBase + 0x9000, {}},
      {"reloaded smaller", {{"C:\\app\\old.dll", 0x10000, true}, {"C:\\app\\new.dll", 0x2000, false}}, true, true,
       kBase + 0x2000, {}},
      {"both unloaded", {{"C:\\app\\old.dll", 0x2000, true}, {"C:\\app\\new.dll", 0x10000, true}}, true, true,
       kBase + 0x9000, {}},
      {"the earlier one loaded", {{"C:\\app\\old.dll", 0x2000, false}, {"C:\\app\\new.dll", 0x10000, true}}, true,
       true, kBase + 0x2000, {}},
      {"reloaded without headers", {{"C:\\app\\old.dll", 0x10000, true}, {"C:\\app\\new.dll", 0x10000, false}}, false,
       false, 0, {"Return addresses in C:\\app\\new.dll not believed: no readable MZ header"}},
  };
  for (const auto& c : kCases) {
    ScanFixture f;
    if (c.headers) code_module::Add("C:\\app\\new.dll", kBase, 0x10000, 0x8000);
    for (const Record& record : c.records) {
      f.session->AddModule(CModule(record.path, kBase, record.size));
      if (record.unloaded) f.session->modules.back().loaded = false;
    }
    uint32_t start = 0, end = 0;
    EXPECT_EQ(f.session->moduleImages.SectionAt(kAt, &start, &end), c.found) << c.what;
    EXPECT_EQ(f.session->moduleImages.Holds(kAt), c.found) << c.what;
    if (c.found) EXPECT_EQ(start, kBase + 0x1000) << c.what;
    EXPECT_EQ(end, c.end) << c.what;
    EXPECT_EQ(f.log.lines, c.log) << c.what;
  }
}

// A frame in a system DLL entered from the program through a call of another of that
// DLL's functions (a tail call inside it): the program's frame is found.
TEST(BackTraceScan, CallbackFrameAboveASystemDllFrame) {
  ScanFixture f;
  const DWORD other = kKernel + 0x1000;  // below EnumThings, which the frame runs in
  const DWORD intoMain = CallDirect(kFnMain + 0x10, other);
  const DWORD intoEnum = CallRegister(kEnum + 0x30);
  const DWORD intoCb = CallDirect(kFnCb + 0x10, kFnA);
  f.Stack(kEsp, {intoCb, 0x22, intoEnum, 0x33, intoMain, 0x44, 0, 0});
  f.Start(kFnA + 0x20, kEsp, 0);
  const std::vector<std::string> lines = FrameLines(f.Trace());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], Line(kEsp + 12, intoMain, {0x44, 0, 0, 0}, "kernel32!EnumThings [scan] "));
}

// Two return addresses that both settle fn_a's frame, a stale one and the true one, in
// either order: the one whose own caller comes sooner above them is fn_a's caller.
TEST(BackTraceScan, OfTwoSettlingCallsTheOneWithACallerSoonerWins) {
  const struct {
    const char* what;
    bool staleFirst;
  } rows[] = {{"the stale call of fn_a below the true one", true},
              {"the stale call of fn_a in the caller's frame, above the true one", false}};
  for (const auto& row : rows) {
    ScanFixture f;
    Chain chain;
    const DWORD stale = CallDirect(kFnX + 0x40, kFnA);  // fn_x called fn_a once
    std::vector<DWORD> words = {row.staleFirst ? stale : chain.b, 1, row.staleFirst ? chain.b : stale, 2,
                                chain.c, 3, chain.w, 0, chain.k, 0, 0};
    f.Stack(kEsp, words);
    f.Start(kFnA + 0x20, kEsp, 0);
    const WalkResult result = Walk(f);
    EXPECT_EQ(result.frames, ChainShown(chain)) << row.what;
  }
}
