#include <gtest/gtest.h>

#include "report/report.h"
#include "test_support.h"

namespace {

TEST(Session, EmptyReportNameFailsWithLineAndNoBuffer) {
  sim::Reset();
  LineRecorder log;
  {
    CLogFile session("", log.pane);
    EXPECT_EQ(session.reportFile, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(session.symbols.enabled());
  }
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], "File: creation failed (3)");
  EXPECT_EQ(sim::Calls("CloseHandle"), 0);
}

TEST(Session, MissingDirectoryFails) {
  sim::Reset();
  LineRecorder log;
  CLogFile session("/nonexistent-dir/x/report.txt", log.pane);
  EXPECT_EQ(session.reportFile, INVALID_HANDLE_VALUE);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], "File:/nonexistent-dir/x/report.txt creation failed (3)");
}

TEST(Session, DefaultsAndSymbolsEnabled) {
  SessionFixture f;
  EXPECT_TRUE(f.session->options.symbolTableEnabled);
  EXPECT_TRUE(f.session->options.memoryDumpEnabled);
  EXPECT_EQ(f.session->options.instructionCount, 200);
  EXPECT_TRUE(f.session->symbols.enabled());
  EXPECT_EQ(f.session->symbols.lastFoundFlags(), 0u);
}

TEST(Session, PrintWritesExactBytesAndNeverTruncates) {
  SessionFixture f;
  f.session->processId = 77;
  f.session->Print("%s (pid=%d)\r\n", "C:\\a.exe", 77);
  f.session->Print("%s", "");
  std::string big(5000, 'x');
  f.session->Print("[%s]", big.c_str());
  EXPECT_EQ(f.Report(), "C:\\a.exe (pid=77)\r\n[" + big + "]");
}

TEST(Session, ExistingReportIsReplaced) {
  SessionFixture f;
  f.session->Print("first run, longer text");
  f.session.reset();
  f.session.reset(new CLogFile(f.reportPath.c_str(), f.log.pane));
  f.session->Print("second");
  EXPECT_EQ(f.Report(), "second");
}

TEST(Session, FailedWriteIsLoggedOnceAndPrintingGoesOn) {
  SessionFixture f;
  sim::target().failWritesAfter = 1;
  f.session->Print("kept\r\n");
  f.session->Print("kept too\r\n");
  f.session->FlushReportText();
  f.session->Print("lost 1\r\n");
  f.session->FlushReportText();
  f.session->Print("lost 2\r\n");
  f.session->FlushReportText();
  EXPECT_EQ(sim::Calls("WriteFile"), 3);
  ASSERT_EQ(f.log.lines.size(), 1u);
  EXPECT_EQ(f.log.lines[0], "Write to report " + f.reportPath + " failed (e=112)");
  EXPECT_EQ(f.Report(), "kept\r\nkept too\r\n");
}

// Small prints are written together; a long report goes out in pieces while it is made.
TEST(Session, PrintsAreWrittenInLargePieces) {
  SessionFixture f;
  const std::string line(100, 'x');
  for (int i = 0; i < 1000; ++i) f.session->Print("%s\r\n", line.c_str());
  EXPECT_EQ(sim::Calls("WriteFile"), 1);  // 64 KiB of the 102 KB
  EXPECT_EQ(f.Report().size(), 102000u);
  EXPECT_EQ(sim::Calls("WriteFile"), 2);
}

TEST(Session, LogAppendsOneLinePerCall) {
  SessionFixture f;
  f.session->Log("a %d", 1);
  f.session->Log("%s", std::string(3000, 'y').c_str());
  ASSERT_EQ(f.log.lines.size(), 2u);
  EXPECT_EQ(f.log.lines[0], "a 1");
  EXPECT_EQ(f.log.lines[1].size(), 3000u);
}

// The shrinking retry, as the platform sees it.
struct RetryCase {
  const char* name;
  uint32_t readableFrom;  // offset from the request's address
  uint32_t readableTo;
  uint32_t size;
  bool halve;
  bool result;
  uint32_t bytesRead;
  std::vector<std::pair<uint32_t, uint32_t>> tries;  // {offset, size}
};

class ReadRetry : public ::testing::TestWithParam<RetryCase> {};

TEST_P(ReadRetry, FollowsTheShrinkRule) {
  const RetryCase& c = GetParam();
  SessionFixture f;
  f.session->memory.SetCache(false);
  const uint32_t base = 0x20000;
  if (c.readableTo > c.readableFrom) sim::AddRegion(base + c.readableFrom, c.readableTo - c.readableFrom);
  std::vector<BYTE> pattern;
  for (uint32_t i = c.readableFrom; i < c.readableTo; ++i) pattern.push_back(static_cast<BYTE>(i));
  sim::Fill(base + c.readableFrom, pattern);

  std::vector<BYTE> buffer(c.size, 0xEE);
  uint32_t count = 12345;
  EXPECT_EQ(f.session->ReadTargetMemory(base, buffer.data(), c.size, &count, c.halve), c.result);
  EXPECT_EQ(count, c.bytesRead);
  std::vector<std::pair<uint32_t, uint32_t>> tries;
  for (auto& read : sim::Reads()) tries.emplace_back(read.first - base, read.second);
  EXPECT_EQ(tries, c.tries);
  if (c.result && !c.halve) {  // the bytes that end where the request ended
    for (uint32_t i = 0; i < count; ++i) ASSERT_EQ(buffer[i], static_cast<BYTE>(c.size - count + i));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Session, ReadRetry,
    ::testing::Values(RetryCase{"halve_first16", 0, 16, 64, true, true, 16, {{0, 64}, {0, 32}, {0, 16}}},
                      RetryCase{"front_first24_unreadable", 24, 64, 64, false, true, 40,
                                {{0, 64}, {8, 56}, {16, 48}, {24, 40}}},
                      RetryCase{"eight_bytes_one_try", 0, 0, 8, true, false, 0, {{0, 8}}},
                      RetryCase{"nine_bytes_halved_once", 0, 0, 9, true, false, 0, {{0, 9}, {0, 4}}},
                      RetryCase{"whole_read", 0, 64, 64, true, true, 64, {{0, 64}}},
                      RetryCase{"front_only_last8", 56, 64, 64, false, true, 8,
                                {{0, 64}, {8, 56}, {16, 48}, {24, 40}, {32, 32}, {40, 24}, {48, 16}, {56, 8}}}),
    [](const ::testing::TestParamInfo<RetryCase>& info) { return std::string(info.param.name); });

TEST(Session, SymbolSearchPathFromEnvironment) {
  sim::Reset();
  sim::target().environment = {{"_NT_SYMBOL_PATH", "D:\\sym"}, {"_NT_ALT_SYMBOL_PATH", ""}, {"SystemRoot", "C:\\WINNT"}};
  EXPECT_EQ(CLogFile::BuildSymbolSearchPath(), "D:\\sym;C:\\WINNT;");
  sim::target().environment.clear();
  EXPECT_EQ(CLogFile::BuildSymbolSearchPath(), "");
}

}  // namespace
