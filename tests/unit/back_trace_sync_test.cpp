// The fast code listing against the plain rule on random code, symbols and addresses: the
// report text must be the same byte for byte.
#include <gtest/gtest.h>

#include <random>

#include "report/back_trace.h"
#include "report/code_sync.h"
#include "report/disassemble_target.h"
#include "tests/unit/back_trace_plain_listing.h"
#include "tests/unit/test_support.h"

namespace {

// Two sessions over one simulated target: one writes the fast listing, one the plain one.
struct TwinSessions : SessionFixture {
  std::string plainPath = dir + "/plain.txt";
  std::unique_ptr<CLogFile> plain{new CLogFile(plainPath.c_str(), log.pane)};

  TwinSessions() { plain->process = sim::target().processHandle; }
  void SetCount(int32_t count) { session->options.instructionCount = plain->options.instructionCount = count; }
  // Both texts, after both files are closed.
  std::pair<std::string, std::string> Texts() {
    plain.reset();
    return {Report(), ReadWholeFile(plainPath)};
  }
};

std::vector<BYTE> RandomCode(std::mt19937& random, size_t size) {
  // Mostly common one- to three-byte opcodes, some random bytes, so that decoding from
  // neighbouring starts falls onto different instruction chains and sometimes fails.
  static const BYTE kCommon[] = {0x55, 0x8b, 0xec, 0x89, 0x45, 0xe8, 0xc3, 0x90, 0x50, 0x33, 0xc0, 0xff, 0x15,
                                 0x74, 0x0f, 0x83, 0x6a, 0xb8, 0xc7, 0x05, 0x8d, 0x04, 0x24, 0xf3, 0xa5, 0xd9};
  std::vector<BYTE> bytes(size);
  for (BYTE& byte : bytes) {
    byte = random() % 4 == 0 ? static_cast<BYTE>(random()) : kCommon[random() % sizeof kCommon];
  }
  return bytes;
}

uint32_t Pick(std::mt19937& random, uint32_t low, uint32_t high) {
  return low + static_cast<uint32_t>(random() % (static_cast<uint64_t>(high) - low + 1));
}

// One random target: one or two pages of code at a random place, sometimes an unreadable
// page behind, a few symbols before the address, and an address in or near the code. Memory
// is readable or not by whole pages, as on the platform.
uint32_t BuildRandomTarget(std::mt19937& random, bool nearTop) {
  const uint32_t pages = nearTop ? 1 : Pick(random, 1, 2);
  const uint32_t base = nearTop ? 0xFFFFF000u : Pick(random, 1, 0x4000) * 0x1000u;
  const uint32_t size = pages * 0x1000;
  sim::AddRegion(base, size, PAGE_EXECUTE_READ, MEM_IMAGE);
  sim::Fill(base, RandomCode(random, size));
  if (!nearTop && random() % 2 == 0) sim::AddRegion(base + size, 0x1000, PAGE_NOACCESS, MEM_IMAGE);

  uint32_t address = 0;
  switch (random() % 8) {
    case 0:  // the back-off wraps below 0, or the window passes the top
      address = nearTop ? Pick(random, 0xFFFFFF80u, 0xFFFFFFFFu) : Pick(random, 0, 60);
      break;
    case 1:  // at or past the end of the readable code
      address = base + size - Pick(random, 0, 40) + Pick(random, 0, 80);
      break;
    default:
      address = base + Pick(random, 0, size - 1);
  }
  // Symbols a little before the address, of no size, short (the address may lie past their
  // end) or long; sometimes none.
  const int symbols = static_cast<int>(random() % 4);
  for (int i = 0; i < symbols; ++i) {
    const uint32_t back = Pick(random, 0, 700);
    const uint32_t at = address - base >= back ? address - back : base;
    const uint32_t kinds[] = {0, Pick(random, 1, 40), Pick(random, 40, 400), Pick(random, 400, 1200)};
    sim::AddSymbol("fn" + std::to_string(i), at, kinds[random() % 4], 0);
  }
  return address;
}

}  // namespace

TEST(BackTraceSync, FastListingEqualsPlainRuleOnRandomCode) {
  int listed = 0, restarted = 0, restartedMany = 0;
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    TwinSessions twins;
    std::mt19937 random(seed);
    const bool nearTop = seed % 10 == 0;
    const uint32_t address = BuildRandomTarget(random, nearTop);
    const int32_t counts[] = {0, 1, 2, 3, 5, 16, 200};
    twins.SetCount(counts[random() % 7]);
    sim::Thread& simThread = sim::AddThread(1, address, 0x12ff00, 0x12ff40);
    CThreadContext thread(simThread.handle, 1);
    thread.context = simThread.context;
    thread.eip = address;

    WriteCodeListing(*twins.session, thread, address);
    uint64_t plainDecodes = 0;
    const uint32_t passes = WritePlainCodeListing(*twins.plain, thread, address, &plainDecodes);
    const auto texts = twins.Texts();
    ASSERT_EQ(texts.first, texts.second) << "seed " << seed << " address " << std::hex << address;
    listed += texts.first.find("\r\n        ") != std::string::npos ? 1 : 0;
    restarted += passes > 1 ? 1 : 0;
    restartedMany += passes > 20 ? 1 : 0;
  }
  // The cases must be varied enough to mean something.
  EXPECT_GT(listed, 200);
  EXPECT_GT(restarted, 40);
  EXPECT_GT(restartedMany, 10);
}

// A span that runs past 0xFFFFFFFF makes every later pass empty: the search must end.
TEST(BackTraceSync, SearchEndsWhenTheSpanPassesTheTop) {
  TwinSessions twins;
  sim::AddRegion(0xFFFFF000u, 0x1000, PAGE_EXECUTE_READ, MEM_IMAGE);
  sim::Fill(0xFFFFF000u, std::vector<BYTE>(0x1000, 0x90));
  sim::AddSymbol("top", 0xFFFFF000u, 0x2000, 0);  // its span passes the top of memory
  CInstructionLengths lengths(twins.session->target, 0xFFFFF000u, 0x1000);
  ListingStart found;
  EXPECT_FALSE(FindListingStart(lengths, 0xFFFFF000u, 0x2000, 0xFFFFFF00u, &found));

  // With the span ending before the top, the first pass meets it.
  CInstructionLengths again(twins.session->target, 0xFFFFF000u, 0x1000);
  ASSERT_TRUE(FindListingStart(again, 0xFFFFF000u, 0xFFF, 0xFFFFFF00u, &found));
  EXPECT_EQ(found.start, 0xFFFFF000u);
  EXPECT_EQ(found.index, 0xF00);

  CThreadContext thread(nullptr, 1);
  WriteCodeListing(*twins.session, thread, 0xFFFFFF00u);
  EXPECT_EQ(twins.Texts().first, "function: top\r\n\r\n");
}

// The search keeps every address to one decode and joins known dead ends at once.
TEST(BackTraceSync, EachAddressIsDecodedAtMostOnce) {
  TwinSessions twins;
  // Five chains that never meet (every byte starts a 5-byte mov), reached from a run of
  // nops that leads every early start onto the chain at 0x401200: the address, on another
  // chain, is met only by the pass from 0x401201.
  std::vector<BYTE> code(0x1000, 0xb8);
  for (uint32_t i = 0; i < 0x200; ++i) code[i] = 0x90;
  sim::AddRegion(0x401000, 0x1000, PAGE_EXECUTE_READ, MEM_IMAGE);
  sim::Fill(0x401000, code);
  const uint32_t address = 0x401201 + 5 * 600;
  uint32_t low = 0, count = 0;
  ListingSearchRange(0x401000, 0x1000, address, &low, &count);
  CInstructionLengths lengths(twins.session->target, low, count);
  ListingStart found;
  ASSERT_TRUE(FindListingStart(lengths, 0x401000, 0x1000, address, &found));
  EXPECT_EQ(found.start, 0x401201u);
  EXPECT_EQ(found.index, 600);
  EXPECT_LE(lengths.decodes(), address - 0x401000);
  // The nops and the first chain up to the address are decoded once each, then the chain of
  // the address; every later early start joins a known dead end at once.
  EXPECT_EQ(lengths.decodes(), 0x200u + 601 + 600);

  uint32_t length = 0;
  ASSERT_TRUE(lengths.Length(0x401000, &length));
  EXPECT_EQ(length, 1u);
  EXPECT_EQ(lengths.decodes(), 0x200u + 601 + 600);  // remembered, not decoded again
}

// Code whose 64-byte window reaches into an unreadable page is decoded as Disassemble would,
// from the bytes that can be read.
TEST(BackTraceSync, WindowsAtTheEndOfReadableMemoryDecodeLikeDisassemble) {
  TwinSessions twins;
  sim::AddRegion(0x401000, 0x1000, PAGE_EXECUTE_READ, MEM_IMAGE);
  sim::AddRegion(0x402000, 0x1000, PAGE_NOACCESS, MEM_IMAGE);
  std::vector<BYTE> code(0x1000, 0x90);
  code[0xff8] = 0xe8;  // a call whose 5 bytes are readable, but not its 64-byte window
  code[0xffc] = 0xe8;  // one whose bytes are not
  sim::Fill(0x401000, code);
  CInstructionLengths lengths(twins.session->target, 0x401000, 0x1000);
  uint32_t length = 0;
  ASSERT_TRUE(lengths.Length(0x401fc0, &length));  // whole window readable, from the page
  EXPECT_EQ(length, 1u);
  ASSERT_TRUE(lengths.Length(0x401ff8, &length));  // 8 bytes readable: the call fits
  EXPECT_EQ(length, 5u);
  EXPECT_FALSE(lengths.Length(0x401ffc, &length));
  // A nop in the last 3 bytes: not even the 8-byte try of the code window succeeds.
  uint32_t direct = 0;
  EXPECT_FALSE(DisassembleLength(twins.session->target, 0x401ffd, &direct));
  EXPECT_FALSE(lengths.Length(0x401ffd, &length));
}
