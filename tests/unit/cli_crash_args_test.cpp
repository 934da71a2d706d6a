#include <gtest/gtest.h>

#include "tools/cli/cli_args.h"

namespace {

struct QuoteCase {
  const char* name;
  std::vector<std::wstring> argv;
  std::wstring line;
};

class QuotedLine : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(QuotedLine, SplitsBackAsGiven) { EXPECT_EQ(QuotedCommandLine(GetParam().argv), GetParam().line); }

INSTANTIATE_TEST_SUITE_P(
    Crash, QuotedLine,
    ::testing::Values(QuoteCase{"plain", {L"prog.exe", L"a", L"--minidump"}, L"prog.exe a --minidump"},
                      QuoteCase{"blank", {L"C:\\My Apps\\p.exe", L"a b"}, L"\"C:\\My Apps\\p.exe\" \"a b\""},
                      QuoteCase{"empty", {L"p", L""}, L"p \"\""},
                      QuoteCase{"quote", {L"p", L"c\"d"}, L"p \"c\\\"d\""},
                      QuoteCase{"backslashes_before_quote", {L"p", L"a\\\\\"b"}, L"p \"a\\\\\\\\\\\"b\""},
                      QuoteCase{"trailing_backslash_in_quotes", {L"p", L"a b\\"}, L"p \"a b\\\\\""},
                      QuoteCase{"lone_backslashes_kept", {L"p", L"a\\b"}, L"p a\\b"}),
    [](const ::testing::TestParamInfo<QuoteCase>& info) { return std::string(info.param.name); });

struct CrashArgsCase {
  const char* name;
  std::vector<std::wstring> argv;
  bool ok;
  std::string error;
  ReportMoment moment;
  std::wstring program;
  size_t programArguments;
  std::wstring report;
};

class CrashArgs : public ::testing::TestWithParam<CrashArgsCase> {};

TEST_P(CrashArgs, Parse) {
  const CrashArgsCase& c = GetParam();
  std::vector<std::wstring> argv{L"tarnholm-cli"};
  argv.insert(argv.end(), c.argv.begin(), c.argv.end());
  CliArguments parsed;
  std::string error;
  ASSERT_EQ(ParseCliArguments(argv, parsed, error), c.ok) << error;
  EXPECT_EQ(error, c.error);
  if (!c.ok) return;
  EXPECT_EQ(parsed.dump.reportAt, c.moment);
  EXPECT_EQ(parsed.program, c.program);
  EXPECT_EQ(parsed.programArguments.size(), c.programArguments);
  EXPECT_EQ(parsed.reportName, c.report);
}

INSTANTIATE_TEST_SUITE_P(
    Crash, CrashArgs,
    ::testing::Values(
        CrashArgsCase{"launch", {L"--launch", L"p.exe", L"--minidump", L"x"}, true, "", ReportMoment::kUnhandled, L"p.exe", 2, L""},
        CrashArgsCase{"launch_report", {L"--report", L"r.txt", L"--launch", L"--first-chance", L"p.exe"}, true, "",
                      ReportMoment::kFirstChanceError, L"p.exe", 0, L"r.txt"},
        CrashArgsCase{"launch_after_dashes", {L"--launch", L"--report=r", L"--", L"-p.exe"}, true, "", ReportMoment::kUnhandled,
                      L"-p.exe", 0, L"r"},
        CrashArgsCase{"on_crash", {L"--on-crash", L"12", L"r.txt"}, true, "", ReportMoment::kUnhandled, L"", 0, L"r.txt"},
        CrashArgsCase{"plain_stays", {L"12"}, true, "", ReportMoment::kFirstException, L"", 0, L""},
        CrashArgsCase{"no_program", {L"--launch"}, false, "--launch needs a program", ReportMoment::kUnhandled, L"", 0, L""},
        CrashArgsCase{"keep_running", {L"--on-crash", L"--keep-running", L"12"}, false,
                      "--keep-running is for the attach moment only; a crashed program cannot run on", ReportMoment::kUnhandled, L"", 0, L""},
        CrashArgsCase{"first_chance_alone", {L"--first-chance", L"12"}, false, "--first-chance goes with --on-crash or --launch",
                      ReportMoment::kUnhandled, L"", 0, L""},
        CrashArgsCase{"report_twice", {L"--on-crash", L"--report=a", L"12", L"b"}, false, "the report is given twice",
                      ReportMoment::kUnhandled, L"", 0, L""},
        CrashArgsCase{"both_ways", {L"--on-crash", L"--launch", L"p"}, false, "--launch and --on-crash exclude each other",
                      ReportMoment::kUnhandled, L"", 0, L""}),
    [](const ::testing::TestParamInfo<CrashArgsCase>& info) { return std::string(info.param.name); });

}  // namespace
