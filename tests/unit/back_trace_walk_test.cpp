// The stack back trace: frame lines, module and function names, OMAP and FPO texts, the
// listing after each frame, the 100-frame limit, and the walker's callbacks.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include "report/back_trace.h"
#include "tests/unit/code_module.h"
#include "tests/unit/back_trace_support.h"

namespace {

constexpr DWORD kModule = 0x400000;
constexpr DWORD kCode = 0x401000;
constexpr DWORD kStack = 0x120000;
constexpr DWORD kStackSize = 0x10000;

// A stack of frames with frame pointers: frame i at kStack + 0x1000 + 0x20 * i holds the
// next frame's pointer, the return address into fn_(i+1) and four parameters.
struct WalkFixture : TraceFixture {
  WalkFixture() {
    session->options.instructionCount = 2;
    code_module::Add("C:\\app\\prog.exe", kModule, 0x10000, 0x1000);
    session->AddModule(CModule("C:\\app\\prog.exe", kModule, 0x10000));
    sim::AddRegion(kStack, kStackSize);
  }
  // A return address is only believed right after a call: "call eax" before it.
  void Returns(DWORD returnAddress) {
    if (returnAddress != 0) code_module::CallRegister(returnAddress - 2);
  }
  void Word(DWORD address, DWORD value) {
    sim::Fill(address, {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                        static_cast<BYTE>(value >> 24)});
  }
  // An EBP frame at frame: saved EBP, return address, then params p, p + 1, ...
  void Frame(DWORD frame, DWORD savedEbp, DWORD returnAddress, DWORD p) {
    Returns(returnAddress);
    Word(frame, savedEbp);
    Word(frame + 4, returnAddress);
    for (DWORD i = 0; i < 4; ++i) Word(frame + 8 + 4 * i, p + i);
  }
};

FPO_DATA Fpo(DWORD start, DWORD size, DWORD locals, WORD params, WORD regs, WORD frameType, bool seh = false,
             bool useBp = false) {
  FPO_DATA fpo{};
  fpo.ulOffStart = start;
  fpo.cbProcSize = size;
  fpo.cdwLocals = locals;
  fpo.cdwParams = params;
  fpo.cbRegs = regs;
  fpo.cbFrame = frameType;
  fpo.fHasSEH = seh;
  fpo.fUseBP = useBp;
  return fpo;
}

std::string CallLine(DWORD at) {
  char line[64];
  snprintf(line, sizeof line, "        %08x ffd0             call    eax\r\n", static_cast<unsigned>(at));
  return line;
}

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}


}  // namespace

TEST(BackTraceWalk, EbpChainFramesWithNamesAndListings) {
  WalkFixture f;
  sim::AddSymbol("fn_a", kCode + 0x000, 0x100);
  sim::AddSymbol("fn_b", kCode + 0x100, 0x100);
  sim::AddSymbol("fn_c", kCode + 0x200, 0x100);
  const DWORD f0 = kStack + 0x1000, f1 = f0 + 0x20, f2 = f1 + 0x20;
  f.Frame(f0, f1, kCode + 0x105, 1);
  f.Frame(f1, f2, kCode + 0x205, 11);
  f.Frame(f2, 0, 0, 21);
  f.Start(kCode + 0x10, f0 - 0x10, f0);
  const std::string text = f.Trace();
  const std::string header = "FramePtr ReturnAd Param#1  Param#2  Param#3  Param#4  Function Name\r\n";
  const std::string expectedStart =
      "*----> Stack Back Trace <----*\r\n\r\n" + header +
      "00121000 00401105 00000001 00000002 00000003 00000004 prog!fn_a \r\n"
      "function: fn_b\r\n" +
      NopLines(kCode + 0x102, kCode + 0x102) + CallLine(kCode + 0x103) + NopLines(kCode + 0x105, kCode + 0x108) +
      "\r\n" + header +
      "00121020 00401205 0000000b 0000000c 0000000d 0000000e prog!fn_b \r\n"
      "function: fn_c\r\n";
  EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart);
  EXPECT_EQ(FrameLines(text), (std::vector<std::string>{
                                  "00121000 00401105 00000001 00000002 00000003 00000004 prog!fn_a ",
                                  "00121020 00401205 0000000b 0000000c 0000000d 0000000e prog!fn_b ",
                                  "00121040 00000000 00000015 00000016 00000017 00000018 prog!fn_c ",
                              }));
  // The last frame returns to 0: its listing finds nothing; then the closing empty line.
  const std::string end = "prog!fn_c \r\nfunction: <nosymbols>\r\n\r\n\r\n";
  EXPECT_EQ(text.substr(text.size() - end.size()), end);
  // The walk works on a copy of the context.
  EXPECT_EQ(f.thread.context.Ebp, f0);
  EXPECT_EQ(f.thread.context.Esp, f0 - 0x10);
}

TEST(BackTraceWalk, WalkThatFailsAtOnceLeavesOnlyTheFrameOfTheSection) {
  WalkFixture f;
  f.Start(kCode, 0x10, 0);  // EBP 0: the first frame cannot be read
  EXPECT_EQ(f.Trace(), "*----> Stack Back Trace <----*\r\n\r\n\r\n");
}

TEST(BackTraceWalk, DeepStackStopsAtExactly100Frames) {
  WalkFixture f;
  sim::AddSymbol("recurse", kCode, 0x100);
  const DWORD first = kStack + 0x1000;
  for (DWORD i = 0; i < 150; ++i) f.Frame(first + 0x20 * i, first + 0x20 * (i + 1), kCode + 0x20, i);
  f.Frame(first + 0x20 * 150, 0, 0, 0);
  f.Start(kCode + 0x10, first - 0x10, first);
  const std::string text = f.Trace();
  EXPECT_EQ(FrameLines(text).size(), 100u);
  EXPECT_EQ(Count(text, "function: recurse\r\n"), 100u);
  EXPECT_EQ(FrameLines(text).back().substr(0, 18), "00121c60 00401020 ");  // frame 100 of 151
  EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");

  // A stack within the limit is shown whole, its last frame returning to 0 included.
  WalkFixture g;
  for (DWORD i = 0; i < 60; ++i) g.Frame(first + 0x20 * i, first + 0x20 * (i + 1), kCode + 0x20, i);
  g.Frame(first + 0x20 * 60, 0, 0, 0);
  g.Start(kCode + 0x10, first - 0x10, first);
  EXPECT_EQ(FrameLines(g.Trace()).size(), 61u);
}

TEST(BackTraceWalk, FailedModuleLookupLeavesOutTheModuleName) {
  WalkFixture f;
  sim::AddRegion(0x500000, 0x1000, PAGE_EXECUTE_READ, MEM_PRIVATE);  // code outside any module
  const DWORD f0 = kStack + 0x1000;
  f.Frame(f0, 0, 0, 1);
  f.Start(0x500010, f0 - 0x10, f0);
  EXPECT_EQ(FrameLines(f.Trace()), (std::vector<std::string>{
                                       "00121000 00000000 00000001 00000002 00000003 00000004 <nosymbols> "}));
}

// The OMAP test reads the flags the lookups left: a failed lookup keeps those of the last
// successful one, and a fresh buffer has none.
TEST(BackTraceWalk, OmapTextFollowsTheFlagsTheLastLookupLeft) {
  WalkFixture f;
  code_module::Add("C:\\app\\bare.dll", 0x500000, 0x10000, 0x1000);  // no symbols
  f.session->AddModule(CModule("C:\\app\\bare.dll", 0x500000, 0x10000));
  sim::AddSymbol("omapped", kCode, 0x100, SYMF_OMAP_GENERATED);
  sim::AddSymbol("modified", kCode + 0x100, 0x100, SYMF_OMAP_MODIFIED);
  sim::AddSymbol("plain", kCode + 0x200, 0x100, 0);
  const DWORD f0 = kStack + 0x1000, f1 = f0 + 0x20, f2 = f1 + 0x20, f3 = f2 + 0x20, f4 = f3 + 0x20;
  // The frames run in: bare (its lookup fails), omapped, bare again (the flags of omapped
  // stay), plain (flags clear), modified.
  f.Frame(f0, f1, kCode + 0x10, 0);
  f.Frame(f1, f2, 0x501020, 0);
  f.Frame(f2, f3, kCode + 0x210, 0);
  f.Frame(f3, f4, kCode + 0x110, 0);
  f.Frame(f4, 0, 0, 0);
  f.Start(0x501000, f0 - 0x10, f0);
  const std::vector<std::string> lines = FrameLines(f.Trace());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].substr(54), "bare!<nosymbols> ");  // the first lookup fails: no flags yet
  EXPECT_EQ(lines[1].substr(54), "prog!omapped [omap] ");
  EXPECT_EQ(lines[2].substr(54), "bare!<nosymbols> [omap] ");
  EXPECT_EQ(lines[3].substr(54), "prog!plain ");
  EXPECT_EQ(lines[4].substr(54), "prog!modified [omap] ");
}

TEST(BackTraceWalk, EveryFpoText) {
  WalkFixture f;
  // Six functions, one per kind of record, each 0x100 bytes; frame i runs in function i.
  sim::target().fpo = {
      Fpo(kCode + 0x000, 0x100, 2, 3, 1, FRAME_FPO),                // plain FPO frame
      Fpo(kCode + 0x100, 0x100, 1, 2, 0, FRAME_FPO, false, true),   // uses EBP: saved EBP shown
      Fpo(kCode + 0x200, 0x100, 0, 1, 2, FRAME_FPO, true),          // SEH
      Fpo(kCode + 0x300, 0x100, 4, 5, 3, FRAME_NONFPO),             // EBP frame with a record
      Fpo(kCode + 0x400, 0x100, 0, 0, 0, FRAME_TRAP),
      Fpo(kCode + 0x500, 0x100, 0, 0, 0, FRAME_TSS),
  };
  // Frame 0 (plain FPO): ESP + 4 * (2 locals + 1 register) holds the return address.
  const DWORD esp = kStack + 0x1000;
  f.Word(esp + 12, kCode + 0x110);
  f.Returns(kCode + 0x110);
  // Frame 1 (FPO with EBP): its stack starts above frame 0's return address; 1 local, no
  // registers: the return address at +4, the saved EBP below it.
  const DWORD esp1 = esp + 16;
  f.Word(esp1, kStack + 0x2000);
  f.Word(esp1 + 4, kCode + 0x210);
  f.Returns(kCode + 0x210);
  // Frame 2 (SEH, no locals, 2 registers): return address at +8; EBP from frame 1.
  const DWORD esp2 = esp1 + 8;
  f.Word(esp2 + 8, kCode + 0x310);
  f.Returns(kCode + 0x310);
  // Frames 3 to 5 follow the EBP chain from the EBP frame 1 restored.
  f.Frame(kStack + 0x2000, kStack + 0x2020, kCode + 0x410, 0);
  f.Frame(kStack + 0x2020, kStack + 0x2040, kCode + 0x510, 0);
  f.Frame(kStack + 0x2040, 0, 0, 0);
  f.Start(kCode + 0x10, esp, 0x77777777);
  const std::vector<std::string> lines = FrameLines(f.Trace());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].substr(0, 18), "00121008 00401110 ");
  EXPECT_EQ(lines[0].substr(54), "prog!<nosymbols>  (FPO: [3,2,1])");
  EXPECT_EQ(lines[1].substr(0, 18), "00121010 00401210 ");
  EXPECT_EQ(lines[1].substr(54), "prog!<nosymbols>  (FPO: [EBP 0x00122000] [2,1,0])");
  EXPECT_EQ(lines[2].substr(0, 18), "0012101c 00401310 ");
  EXPECT_EQ(lines[2].substr(54), "prog!<nosymbols> (FPO: [SEH])");
  EXPECT_EQ(lines[3].substr(0, 18), "00122000 00401410 ");
  EXPECT_EQ(lines[3].substr(54), "prog!<nosymbols> (FPO: Non-FPO [5,4,3])");
  EXPECT_EQ(lines[4].substr(54), "prog!<nosymbols> (UNKNOWN FPO TYPE)");
  EXPECT_EQ(lines[5].substr(54), "prog!<nosymbols> (UNKNOWN FPO TYPE)");
}

TEST(BackTraceWalk, CallbacksReachTheSessionThroughTheOwnerOfTheWalk) {
  WalkFixture f;
  sim::target().fpo = {Fpo(kCode, 0x100, 0, 0, 0, FRAME_NONFPO)};
  f.Word(kStack + 0x100, 0x12345678);
  HANDLE handle = f.session->process;
  DWORD word = 0, count = 0;
  {
    // Without a walk under way, or for another process, they have nothing to read.
    EXPECT_FALSE(StackReadMemory(handle, kStack + 0x100, &word, 4, &count));
    CStackWalkOwner owner(f.session->target);
    EXPECT_FALSE(StackReadMemory(reinterpret_cast<HANDLE>(0x99), kStack + 0x100, &word, 4, &count));
    EXPECT_EQ(StackModuleBase(reinterpret_cast<HANDLE>(0x99), kCode + 0x20), 0u);
  }
  CStackWalkOwner owner(f.session->target);
  ASSERT_TRUE(StackReadMemory(handle, kStack + 0x100, &word, 4, &count));
  EXPECT_EQ(word, 0x12345678u);
  EXPECT_EQ(count, 4u);
  // A read that runs off the stack shrinks by halving and delivers the part it could read.
  BYTE tail[64];
  ASSERT_TRUE(StackReadMemory(handle, kStack + kStackSize - 16, tail, sizeof tail, &count));
  EXPECT_EQ(count, 16u);
  EXPECT_FALSE(StackReadMemory(handle, 0x10, tail, 4, &count));
  EXPECT_EQ(StackFunctionTable(handle, kCode + 0x20), &sim::target().fpo[0]);
  EXPECT_EQ(StackFunctionTable(handle, kCode + 0x200), nullptr);
  EXPECT_EQ(StackModuleBase(handle, kCode + 0x20), kModule);
  EXPECT_EQ(StackModuleBase(handle, 0x900000), 0u);
  ADDRESS address{};
  EXPECT_EQ(StackTranslateAddress(handle, nullptr, &address), 0u);

  // The walk goes through them: its reads and lookups reach the simulated target.
  f.Frame(kStack + 0x1000, 0, 0, 0);
  f.Start(kCode + 0x10, kStack + 0xff0, kStack + 0x1000);
  const int tableCalls = sim::Calls("SymFunctionTableAccess");
  EXPECT_EQ(FrameLines(f.Trace()).size(), 1u);
  EXPECT_EQ(sim::Calls("SymFunctionTableAccess"), tableCalls + 1);
  // The walker was handed the real process handle, not the session.
  EXPECT_EQ(sim::target().stackWalkProcess, sim::target().processHandle);
}
