// The register block of a thread section and RegisterValue by index.
#include <gtest/gtest.h>

#include <string.h>

#include "report/raw_stack.h"
#include "report/registers.h"
#include "report/report.h"
#include "test_support.h"

namespace {

const HANDLE kThreadHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x1004));

struct RegisterFixture : SessionFixture {
  CThreadContext thread{kThreadHandle, 0x42};
  std::string Block() {
    WriteRegisters(*session, thread);
    return Report();
  }
  uint64_t Value(uint32_t index) { return RegisterValue(session->target, thread, index); }
};

const char kZeroBlock[] =
    "eax=00000000 ebx=00000000 ecx=00000000 edx=00000000 esi=00000000 edi=00000000\r\n"
    "eip=00000000 esp=00000000 ebp=00000000 iopl=0         nv up di pl nz na pe nc\r\n"
    "cs=0000  ss=0000  ds=0000  es=0000  fs=0000  gs=0000             efl=00000000\r\n"
    "\r\n\r\n";

TEST(Registers, FullBlockWithTheFlagsOfAnAttachBreakpoint) {
  RegisterFixture f;
  CONTEXT& c = f.thread.context;
  c.Eax = 0x000000de;
  c.Ebx = 0x00000001;
  c.Ecx = 0x0063fc00;
  c.Edx = 0xfffffffe;
  c.Esi = 0x12345678;
  c.Edi = 0x0063fcc0;
  c.Eip = 0x7bc0c51c;
  c.Esp = 0x0063fc7c;
  c.Ebp = 0x0063fdd8;
  c.EFlags = 0x00000246;
  c.SegCs = 0x23;
  c.SegSs = 0x2b;
  c.SegDs = 0x2b;
  c.SegEs = 0x2c;
  c.SegFs = 0x6b;
  c.SegGs = 0x63;
  EXPECT_EQ(f.Block(),
            "eax=000000de ebx=00000001 ecx=0063fc00 edx=fffffffe esi=12345678 edi=0063fcc0\r\n"
            "eip=7bc0c51c esp=0063fc7c ebp=0063fdd8 iopl=0         nv up ei pl zr na po nc\r\n"
            "cs=0023  ss=002b  ds=002b  es=002c  fs=006b  gs=0063             efl=00000246\r\n"
            "\r\n\r\n");
}

TEST(Registers, EveryFlagSetAndIoplThree) {
  RegisterFixture f;
  // VIP, VIF, IOPL 3, OF, DF, IF, TF, SF, ZF, AF, PF, CF
  f.thread.context.EFlags = 0x00180000 | 0x3000 | 0x0800 | 0x0400 | 0x0200 | 0x0100 | 0x80 | 0x40 | 0x10 | 0x04 | 0x01 | 0x02;
  std::string block = f.Block();
  EXPECT_NE(block.find("iopl=3 vip vif ov dn ei ng zr ac po cy\r\n"), std::string::npos) << block;
  EXPECT_NE(block.find("efl=00183fd7\r\n"), std::string::npos) << block;
}

TEST(Registers, VipAndVifComeRightAfterTheIopl) {
  RegisterFixture f;
  f.thread.context.EFlags = 0x00180002;
  std::string block = f.Block();
  EXPECT_NE(block.find("ebp=00000000 iopl=0 vip vif nv up di pl nz na pe nc\r\n"), std::string::npos) << block;
}

TEST(Registers, OnlyVifSet) {
  RegisterFixture f;
  f.thread.context.EFlags = 0x00080002;
  EXPECT_NE(f.Block().find("iopl=0     vif nv up di"), std::string::npos);
}

TEST(Registers, TrapFlagIsNotShown) {
  RegisterFixture f;
  f.thread.context.EFlags = 0x0102;
  EXPECT_NE(f.Block().find("iopl=0         nv up di pl nz na pe nc\r\n"), std::string::npos);
}

TEST(Registers, ZeroContextPrintsZerosAndClearFlags) {
  RegisterFixture f;
  EXPECT_EQ(f.Block(), kZeroBlock);
}

// A thread whose context cannot be read: zeros, and no raw stack dump at all.
TEST(Registers, UnreadableContextGivesTheZeroBlockAndNoStackDump) {
  SessionFixture f;
  sim::Thread& simThread = sim::AddThread(0x99, 0x401000, 0x0012ff00, 0x0012ff80);
  simThread.contextReadable = false;
  f.session->AddThread(simThread.handle, simThread.id);
  CThreadContext& thread = f.session->threads.back();
  ReadThreadContext(*f.session, thread);
  EXPECT_EQ(thread.esp, 0u);
  WriteRegisters(*f.session, thread);
  WriteRawStack(*f.session, thread);
  ASSERT_EQ(f.log.lines.size(), 1u);
  EXPECT_EQ(f.log.lines[0].rfind(">>>>> GetThreadContext failed: err(6), hthread(0x", 0), 0u);
  EXPECT_EQ(f.Report(), kZeroBlock);
}

TEST(RegisterValue, IndexTable) {
  RegisterFixture f;
  CONTEXT& c = f.thread.context;
  memset(&c, 0xEE, sizeof c);  // every field nonzero, so that unlisted indices show
  const struct {
    uint32_t index;
    DWORD* field;
  } fields[] = {{0, &c.SegGs}, {1, &c.SegFs}, {2, &c.SegEs}, {3, &c.SegDs},   {4, &c.Edi},  {5, &c.Esi},
                {6, &c.Ebx},   {7, &c.Edx},   {8, &c.Ecx},   {9, &c.Eax},     {10, &c.Ebp}, {11, &c.Eip},
                {12, &c.SegCs}, {13, &c.EFlags}, {14, &c.Esp}, {15, &c.SegSs}, {20, &c.Dr0}, {21, &c.Dr1},
                {22, &c.Dr2},  {23, &c.Dr3},   {24, &c.Dr6},  {25, &c.Dr7}};
  for (const auto& entry : fields) *entry.field = 0x1000 + entry.index;
  for (const auto& entry : fields) EXPECT_EQ(f.Value(entry.index), 0x1000u + entry.index) << entry.index;
  for (uint32_t index = 16; index <= 19; ++index) EXPECT_EQ(f.Value(index), 0u) << index;
  for (uint32_t index = 26; index <= 41; ++index) EXPECT_EQ(f.Value(index), 0u) << index;
  for (uint32_t index = 43; index <= 99; ++index) EXPECT_EQ(f.Value(index), 0u) << index;
}

TEST(RegisterValue, FieldTable) {
  RegisterFixture f;
  CONTEXT& c = f.thread.context;
  c.Eax = 0x1234ABCD;
  c.Ebx = 0x89ABCDEF;
  c.Ecx = 0x0102F3F4;
  c.Edx = 0xFFEE7711;
  c.Edi = 0xAAAA5555;
  c.Esi = 0x11112222;
  c.Ebp = 0x33334444;
  c.Eip = 0x55556666;
  c.Esp = 0x77778888;
  c.EFlags = 0xABCD3A57;
  EXPECT_EQ(f.Value(100), 0x5555u);
  EXPECT_EQ(f.Value(101), 0x2222u);
  EXPECT_EQ(f.Value(102), 0xCDEFu);
  EXPECT_EQ(f.Value(103), 0x7711u);
  EXPECT_EQ(f.Value(104), 0xF3F4u);
  EXPECT_EQ(f.Value(105), 0xABCDu);
  EXPECT_EQ(f.Value(106), 0x4444u);
  EXPECT_EQ(f.Value(107), 0x6666u);
  EXPECT_EQ(f.Value(108), 0x3A57u);  // low 16 bits of the flags
  EXPECT_EQ(f.Value(109), 0x8888u);
  EXPECT_EQ(f.Value(110), 0xEFu);
  EXPECT_EQ(f.Value(111), 0x11u);
  EXPECT_EQ(f.Value(112), 0xF4u);
  EXPECT_EQ(f.Value(113), 0xCDu);
  EXPECT_EQ(f.Value(114), 0xCDu);
  EXPECT_EQ(f.Value(115), 0x77u);
  EXPECT_EQ(f.Value(116), 0xF3u);
  EXPECT_EQ(f.Value(117), 0xABu);  // ah
  // 0xABCD3A57: IOPL 3, OF 1, DF 0, IF 1, TF 0, SF 0, ZF 1, AF 1, PF 1, CF 1, VIP 0, VIF 1
  const uint64_t flags[] = {3, 1, 0, 1, 0, 0, 1, 1, 1, 1, 0, 1};
  for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(f.Value(118 + i), flags[i]) << 118 + i;
  EXPECT_EQ(f.Value(130), 0u);
}

TEST(RegisterValue, ReturnAddressAboveTheFramePointer) {
  RegisterFixture f;
  sim::AddRegion(0x0012F000, 0x1000);
  sim::Fill(0x0012FF80, {0x00, 0xFF, 0x12, 0x00, 0x78, 0x56, 0x34, 0x12});
  f.thread.context.Ebp = 0x0012FF80;
  EXPECT_EQ(f.Value(42), 0x12345678u);
  f.thread.context.Ebp = 0x0012FFFC;  // the second word lies past the stack
  EXPECT_EQ(f.Value(42), 0u);
}

}  // namespace
