// Symbol data that no honest symbol handler gives: a symbol above the address asked about,
// and sizes far beyond any function. The start search must stay bounded in time and memory,
// and give the plain rule's listing wherever that rule comes to an end.
#include <gtest/gtest.h>

#include "report/back_trace.h"
#include "report/code_sync.h"
#include "tests/unit/back_trace_plain_listing.h"
#include "tests/unit/test_support.h"

namespace {

constexpr uint32_t kLargestRemembered = 1u << 20;

// Above the address, passes can only meet it by decoding round the top of memory; with
// nothing readable up there the search goes on from the bottom, as the plain rule does.
TEST(HostileSymbol, SymbolAboveTheAddressWithAHugeSize) {
  SessionFixture f;
  sim::AddRegion(0x00010000, 0x8000, PAGE_EXECUTE_READ, MEM_IMAGE);
  sim::Fill(0x00010000, std::vector<BYTE>(0x8000, 0x90));
  for (uint32_t span : {0x80000000u, 0x00100000u, 0xFFFEFFFFu}) {
    SCOPED_TRACE(span);
    uint32_t low = 0, count = 0;
    ListingSearchRange(0x00014000, span, 0x00011000, &low, &count);
    EXPECT_LE(count, kLargestRemembered);
    CInstructionLengths lengths(f.session->target, low, count);
    ListingStart found;
    ASSERT_TRUE(FindListingStart(lengths, 0x00014000, span, 0x00011000, &found));
    // The first start that reaches the address: the bottom of memory, when the span from
    // there passes it; the readable code starts the first pass that gets anywhere.
    EXPECT_EQ(found.start, 0x00010000u);
    EXPECT_EQ(found.index, 0x1000);
    // No pass walks the readable code from above the address over and over.
    EXPECT_LT(lengths.decodes(), 3u * 0x10000u);
  }
}

// Readable code from the symbol up to the top of memory: a pass from above the address that
// runs out of its span long before the top can never get round to the address; only the
// few starts whose span ends within a code window of the top are tried before the bottom.
TEST(HostileSymbol, SymbolAboveTheAddressOverReadableCode) {
  SessionFixture f;
  sim::AddRegion(0xFFFF0000u, 0x10000, PAGE_EXECUTE_READ, MEM_IMAGE);
  sim::Fill(0xFFFF0000u, std::vector<BYTE>(0x10000, 0x90));
  sim::AddRegion(0x00000000, 0x1000, PAGE_EXECUTE_READ, MEM_IMAGE);
  sim::Fill(0x00000000, std::vector<BYTE>(0x1000, 0x90));
  uint32_t low = 0, count = 0;
  ListingSearchRange(0xFFFF0000u, 0xF000, 0x100, &low, &count);
  CInstructionLengths lengths(f.session->target, low, count);
  ListingStart found;
  ASSERT_TRUE(FindListingStart(lengths, 0xFFFF0000u, 0xF000, 0x100, &found));
  EXPECT_EQ(found.start, 0u);
  EXPECT_EQ(found.index, 0x100);
  EXPECT_LT(lengths.decodes(), 0x11000u);
}

// A symbol far below the address whose size covers it: the search would keep only a bounded
// stretch of lengths, and the listing does not search at all: so far from its symbol the
// address is listed from itself (no call ends there), the symbol's name kept.
TEST(HostileSymbol, EnormousSizeFarBelowTheAddress) {
  SessionFixture f;
  const uint32_t base = 0x00400000, size = 0x00110000;
  sim::AddRegion(base, size, PAGE_EXECUTE_READ, MEM_IMAGE);
  sim::Fill(base, std::vector<BYTE>(size, 0x90));
  sim::AddModule("C:\\app\\huge.exe", base, size);
  sim::AddSymbol("everything", base, 0xFFB00000u, 0);
  uint32_t low = 0, count = 0;
  ListingSearchRange(base, 0xFFB00000u, base + size - 0x10, &low, &count);
  EXPECT_EQ(count, kLargestRemembered);

  std::string plainPath = f.dir + "/plain.txt";
  std::unique_ptr<CLogFile> plain(new CLogFile(plainPath.c_str(), f.log.pane));
  plain->process = f.session->process;
  plain->options.instructionCount = f.session->options.instructionCount = 16;
  plain.reset();
  CThreadContext thread(nullptr, 1);
  CodeListingWork work;
  WriteCodeListing(*f.session, thread, base + size - 0x10, &work);
  EXPECT_LE(work.lengthDecodes, 8u);
  EXPECT_EQ(f.Report(), "function: everything\r\n" + NopLines(base + size - 0x10, base + size - 0x08) + "\r\n");
}

}  // namespace
