// The code listing around an address: the "function:" line, the start of the decoding, the
// window of instructions and where it stops.
#include <gtest/gtest.h>

#include <string.h>

#include "report/disassemble_target.h"
#include "report/back_trace.h"
#include "report/report.h"
#include "tests/unit/test_support.h"

namespace {

constexpr DWORD kCode = 0x401000;

// The addresses of the listed instruction lines, in order.
std::vector<uint32_t> ListedAddresses(const std::string& text) {
  std::vector<uint32_t> addresses;
  for (size_t at = text.find("\r\n        "); at != std::string::npos; at = text.find("\r\n        ", at + 2)) {
    addresses.push_back(static_cast<uint32_t>(strtoul(text.substr(at + 10, 8).c_str(), nullptr, 16)));
  }
  return addresses;
}

std::vector<uint32_t> Range(uint32_t first, uint32_t last) {
  std::vector<uint32_t> addresses;
  for (uint32_t at = first; at <= last; ++at) addresses.push_back(at);
  return addresses;
}

struct ListingFixture : SessionFixture {
  CThreadContext thread{nullptr, 1};

  ListingFixture() {
    sim::AddRegion(kCode, 0x1000, PAGE_EXECUTE_READ, MEM_IMAGE);
    sim::Fill(kCode, std::vector<BYTE>(0x1000, 0x90));  // nops: one instruction per byte
  }
  std::string List(uint32_t address, int32_t count) {
    session->options.instructionCount = count;
    WriteCodeListing(*session, thread, address);
    return Report();
  }
};

}  // namespace

TEST(BackTraceListing, LineLayoutAndSectionShape) {
  ListingFixture f;
  sim::Fill(kCode, {0x55, 0x8b, 0xec, 0xc3});
  sim::AddSymbol("fn", kCode, 4);
  char line[kListingLineSize];
  uint32_t at = kCode + 1;
  ASSERT_TRUE(Disassemble(f.session->target, f.thread, at, line, true));
  const std::string movLine = line;
  EXPECT_EQ(f.List(kCode, 16),
            "function: fn\r\n"
            "        00401000 55               push    ebp\r\n"
            "        " + movLine + "\r\n"
            "        00401003 c3               ret\r\n"
            "\r\n");
}

// After a failed context read the address is 0: nothing there or 50 bytes before is readable.
TEST(BackTraceListing, ZeroAddressAfterFailedContextRead) {
  SessionFixture f;
  sim::Thread& simThread = sim::AddThread(7, 0x401000, 0x12ff00, 0x12ff40);
  simThread.contextReadable = false;
  CThreadContext thread(simThread.handle, 7);
  ReadThreadContext(*f.session, thread);
  ASSERT_EQ(thread.eip, 0u);
  WriteCodeListing(*f.session, thread, thread.eip);
  WriteBackTrace(*f.session, thread);
  EXPECT_EQ(f.Report(),
            "function: <nosymbols>\r\n\r\n"
            "*----> Stack Back Trace <----*\r\n\r\n\r\n");
}

TEST(BackTraceListing, SymbolWithoutSizeGetsA100ByteWindow) {
  ListingFixture f;
  sim::AddSymbol("nosize", kCode, 0);
  const std::string text = f.List(kCode + 90, 16);
  EXPECT_EQ(text.substr(0, 18), "function: nosize\r\n");
  EXPECT_EQ(ListedAddresses(text), Range(kCode + 74, kCode + 99));  // never past 100 bytes
}

TEST(BackTraceListing, NoSymbolStarts50BytesBackWithA100ByteSpan) {
  ListingFixture f;
  std::string text = f.List(kCode + 0x80, 5);
  EXPECT_EQ(text.substr(0, 23), "function: <nosymbols>\r\n");
  EXPECT_EQ(ListedAddresses(text), Range(kCode + 0x80 - 5, kCode + 0x80 + 6));  // one more after than before

  ListingFixture wide;
  text = wide.List(kCode + 0x80, 60);
  EXPECT_EQ(ListedAddresses(text), Range(kCode + 0x80 - 50, kCode + 0x80 + 49));
}

TEST(BackTraceListing, AddressNearTheFunctionStartListsFromTheFirstInstruction) {
  ListingFixture f;
  sim::AddSymbol("fn", kCode, 0x100);
  EXPECT_EQ(ListedAddresses(f.List(kCode + 3, 16)), Range(kCode, kCode + 3 + 17));
}

// Instructions of up to 8 bytes still decode from the last 8 readable bytes of a page, so
// linear decoding meets an unreadable address right behind them; the listing shows the
// instructions before it and stops there.
TEST(BackTraceListing, UnreadableAddressAfterReadableInstructions) {
  ListingFixture f;
  sim::AddRegion(kCode + 0x1000, 0x1000, PAGE_NOACCESS, MEM_IMAGE);
  sim::Fill(kCode + 0xff8, {0xc7, 0x44, 0x24, 0x08, 0x00, 0x00, 0x00, 0x00});  // mov dword ptr [esp+8],0
  sim::AddSymbol("tail", kCode + 0xf00, 0x200);
  EXPECT_EQ(ListedAddresses(f.List(kCode + 0x1000, 3)), (std::vector<uint32_t>{0x401ff6, 0x401ff7, 0x401ff8}));
}

// Passes from a start whose span ends at or before the address cannot meet it; the first
// that can starts span - 1 bytes before the address.
TEST(BackTraceListing, AddressPastTheEndOfItsSymbol) {
  ListingFixture f;
  sim::AddSymbol("short", kCode, 0x10);
  const std::string text = f.List(kCode + 0x80, 2);
  EXPECT_EQ(text.substr(0, 17), "function: short\r\n");
  EXPECT_EQ(ListedAddresses(text), Range(kCode + 0x7e, kCode + 0x80));
}

// Decoding from the function start lands inside a long instruction; a later start meets the
// address, and the listing is taken from that start.
TEST(BackTraceListing, MisalignedAddressIsMetByALaterStart) {
  ListingFixture f;
  sim::Fill(kCode, {0xb8, 0x90, 0x90, 0x90, 0x90, 0xc3});  // mov eax,0x90909090; ret
  sim::AddSymbol("fn", kCode, 0x10);
  EXPECT_EQ(ListedAddresses(f.List(kCode + 2, 1)), (std::vector<uint32_t>{kCode + 1, kCode + 2, kCode + 3, kCode + 4}));
}

TEST(BackTraceListing, ZeroCountListsTheInstructionAndOneMore) {
  ListingFixture f;
  sim::AddSymbol("fn", kCode, 0x100);
  EXPECT_EQ(ListedAddresses(f.List(kCode + 0x40, 0)), (std::vector<uint32_t>{kCode + 0x40, kCode + 0x41}));
}

// The listing of a big function near its end decodes nothing far back: beyond the bound of
// the start search it starts at the address itself (no call ends there).
TEST(BackTraceListing, LargeFunctionCostsFewReadsAndDecodes) {
  SessionFixture f;
  CThreadContext thread(nullptr, 1);
  sim::AddRegion(kCode, 0x10000, PAGE_EXECUTE_READ, MEM_IMAGE);
  std::vector<BYTE> code(0x10000, 0xb8);  // five chains of 5-byte movs that never meet
  for (uint32_t i = 0; i < 0x400; ++i) code[i] = 0x90;
  sim::Fill(kCode, code);
  sim::AddSymbol("big", kCode, 0x10000);
  f.session->options.instructionCount = 16;
  const uint32_t address = kCode + 0x401 + 5 * 12000;  // met only by the pass from 0x401401
  CodeListingWork work;
  WriteCodeListing(*f.session, thread, address, &work);
  EXPECT_LE(work.lengthDecodes, 100u);
  EXPECT_EQ(work.lineDecodes, 18u);
  EXPECT_LE(sim::Calls("ReadProcessMemory"), 8);
  const std::string report = f.Report();
  EXPECT_EQ(report.substr(0, 15), "function: big\r\n");
  const std::vector<uint32_t> listed = ListedAddresses(report);
  ASSERT_EQ(listed.size(), 18u);
  EXPECT_EQ(listed.front(), address);
}
