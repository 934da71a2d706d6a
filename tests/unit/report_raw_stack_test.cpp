// The two raw stack dumps of a thread section, with and without the read cache.
#include <gtest/gtest.h>

#include <stdio.h>

#include "report/raw_stack.h"
#include "test_support.h"

namespace {

constexpr DWORD kPage = 4096;

std::vector<BYTE> Pattern(DWORD size, DWORD seed) {
  std::vector<BYTE> bytes(size);
  for (DWORD i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>((i * 13 + seed) & 0xFF);
  return bytes;
}

// The dump line the report must hold for the 16 target bytes at address.
std::string ExpectedLine(DWORD address, const BYTE* b) {
  char line[128];
  int n = snprintf(line, sizeof line, "%08x  %02x %02x %02x %02x %02x %02x %02x %02x - %02x %02x %02x %02x %02x %02x %02x %02x  ",
                   address, b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                   b[15]);
  std::string text(line, static_cast<size_t>(n));
  for (int i = 0; i < 16; ++i) text += b[i] >= 0x20 && b[i] <= 0x7E ? static_cast<char>(b[i]) : '.';
  return text + "\r\n";
}

std::string ExpectedDump(const char* heading, DWORD start, const std::vector<BYTE>& bytes, DWORD offset, DWORD count) {
  std::string text = std::string("*----> Raw Stack Dump ") + heading + "<----*\r\n";
  for (DWORD line = 0; line < count / 16; ++line) text += ExpectedLine(start + line * 16, bytes.data() + offset + line * 16);
  return text + "\r\n";
}

std::string DumpThread(DWORD esp, bool cache) {
  SessionFixture f;
  f.session->memory.SetCache(cache);
  CThreadContext thread(nullptr, 1);
  thread.esp = esp;
  WriteRawStack(*f.session, thread);
  return f.Report();
}

// A stack of 8 pages with a reserved part below, as a fresh thread has it.
struct StackLayout {
  static constexpr DWORD kBase = 0x00128000;  // committed from here
  static constexpr DWORD kTop = 0x00130000;
  std::vector<BYTE> bytes = Pattern(kTop - kBase, 5);
  void Make() {
    sim::AddRegion(0x00030000, kBase - 0x00030000, PAGE_READWRITE, MEM_PRIVATE, MEM_RESERVE);
    sim::AddRegion(kBase, kTop - kBase).bytes = bytes;
  }
};

TEST(RawStack, BothRangesOfAFreshStack) {
  for (bool cache : {true, false}) {
    SCOPED_TRACE(cache);
    StackLayout stack;
    const DWORD esp = 0x0012F100;
    std::string report;
    {
      SessionFixture f;
      stack.Make();
      f.session->memory.SetCache(cache);
      CThreadContext thread(nullptr, 1);
      thread.esp = esp;
      WriteRawStack(*f.session, thread);
      report = f.Report();
    }
    // Below: the readable stretch ending at esp starts at the committed base.
    DWORD lowerCount = esp - StackLayout::kBase;
    std::string lower = ExpectedDump("(lower part)", StackLayout::kBase, stack.bytes, 0, lowerCount);
    // Above: 0xF00 bytes remain up to the top, so 2048 is the first halved size that fits.
    std::string upper = ExpectedDump("", esp, stack.bytes, esp - StackLayout::kBase, 2048);
    EXPECT_EQ(report, lower + upper);
  }
}

TEST(RawStack, EveryDumpLineIs79Bytes) {
  sim::Reset();
  std::string report;
  {
    SessionFixture f;
    sim::AddRegion(0x00200000, 0x40000).bytes = Pattern(0x40000, 1);
    CThreadContext thread(nullptr, 1);
    thread.esp = 0x00230000;
    WriteRawStack(*f.session, thread);
    report = f.Report();
  }
  size_t lines = 0, at = 0;
  while (at < report.size()) {
    size_t end = report.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    std::string line = report.substr(at, end - at);
    if (!line.empty() && line[0] != '*') {
      EXPECT_EQ(line.size() + 2, 79u) << line;
      ++lines;
    }
    at = end + 2;
  }
  EXPECT_EQ(lines, 0x20000u / 16 + 0x4000u / 16);
  EXPECT_EQ(report.find("*----> Raw Stack Dump (lower part)<----*\r\n"), 0u);
  EXPECT_NE(report.find("\r\n\r\n*----> Raw Stack Dump <----*\r\n00230000  "), std::string::npos);
}

// 40 bytes readable below esp (an odd multiple of 8): two whole lines, the last 8 bytes left out.
TEST(RawStack, LowerStretchOfAnOddMultipleOfEight) {
  for (bool cache : {true, false}) {
    SCOPED_TRACE(cache);
    std::vector<BYTE> bytes = Pattern(kPage, 9);
    std::string report;
    {
      SessionFixture f;
      sim::AddRegion(0x00400000, kPage).bytes = bytes;
      f.session->memory.SetCache(cache);
      DumpStackRange(*f.session, 0x00400000 + 40 - 0x20000, 0x20000, false);
      report = f.Report();
    }
    EXPECT_EQ(report, ExpectedDump("(lower part)", 0x00400000, bytes, 0, 32));
    EXPECT_EQ(report.size(), 42u + 2 * 79 + 2);
  }
}

TEST(RawStack, OnlyEightBytesReadableGivesHeadingAndEmptyLine) {
  for (bool cache : {true, false}) {
    SCOPED_TRACE(cache);
    {
      SessionFixture f;
      sim::AddRegion(0x00400000, kPage);
      f.session->memory.SetCache(cache);
      DumpStackRange(*f.session, 0x00401000 - 8, 0x4000, true);  // upwards: 16384 ... 8
      DumpStackRange(*f.session, 0x00400008 - 0x20000, 0x20000, false);  // downwards: ... 8
      EXPECT_EQ(f.Report(),
                "*----> Raw Stack Dump <----*\r\n\r\n"
                "*----> Raw Stack Dump (lower part)<----*\r\n\r\n");
    }
  }
}

TEST(RawStack, UnreadableRangeWritesNothing) {
  for (bool cache : {true, false}) {
    SessionFixture f;
    sim::AddRegion(0x00400000, kPage, PAGE_NOACCESS);
    f.session->memory.SetCache(cache);
    DumpStackRange(*f.session, 0x00400000, 0x4000, true);
    DumpStackRange(*f.session, 0x00401000 - 0x20000, 0x20000, false);
    EXPECT_EQ(f.Report(), "");
  }
}

TEST(RawStack, ZeroStackPointerWritesNothing) {
  sim::Reset();
  EXPECT_EQ(DumpThread(0, true), "");
  EXPECT_EQ(DumpThread(0, false), "");
}

TEST(RawStack, CharacterColumn) {
  std::vector<BYTE> line = {0x20, 0x7E, 0x7F, 0x80, 0x00, 0x1F, 0x41, 0xFF, 0x61, 0x30, 0x2E, 0x0D, 0x0A, 0x09, 0x7D, 0x21};
  std::string report;
  {
    SessionFixture f;
    sim::AddRegion(0x00400000, kPage);
    sim::Fill(0x00400000, line);
    DumpStackRange(*f.session, 0x00400000, 16, true);
    report = f.Report();
  }
  EXPECT_EQ(report,
            "*----> Raw Stack Dump <----*\r\n"
            "00400000  20 7e 7f 80 00 1f 41 ff - 61 30 2e 0d 0a 09 7d 21   ~....A.a0....}!\r\n"
            "\r\n");
}

TEST(RawStack, SameReportWithAndWithoutTheCache) {
  // A stack of pages with holes: both shrink modes meet unreadable pages on the way.
  auto layout = [] {
    sim::AddRegion(0x00500000, 3 * kPage).bytes = Pattern(3 * kPage, 2);
    sim::AddRegion(0x00503000, kPage, PAGE_READWRITE | PAGE_GUARD);
    sim::AddRegion(0x00504000, 5 * kPage).bytes = Pattern(5 * kPage, 3);
    sim::AddRegion(0x0050A000, 2 * kPage).bytes = Pattern(2 * kPage, 4);
  };
  for (DWORD esp : {0x00505010u, 0x00504008u, 0x00508FF0u, 0x0050B000u, 0x00500008u}) {
    std::string reports[2];
    for (int cache = 0; cache < 2; ++cache) {
      SessionFixture f;
      layout();
      f.session->memory.SetCache(cache == 1);
      CThreadContext thread(nullptr, 1);
      thread.esp = esp;
      WriteRawStack(*f.session, thread);
      reports[cache] = f.Report();
    }
    EXPECT_EQ(reports[0], reports[1]) << std::hex << esp;
    EXPECT_FALSE(reports[0].empty()) << std::hex << esp;
  }
}

}  // namespace
