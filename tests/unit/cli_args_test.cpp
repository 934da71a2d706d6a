#include "tools/cli/cli_args.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::wstring> Argv(std::vector<std::wstring> args) {
  args.insert(args.begin(), L"tarnholm-cli.exe");
  return args;
}

TEST(CliArgs, PidAndReportWithEveryOption) {
  CliArguments parsed;
  std::string error;
  ASSERT_TRUE(ParseCliArguments(Argv({L"--keep-running", L"1234", L"--instructions", L"200", L"r.txt",
                                      L"--no-symbol-table", L"--no-memory-dump"}),
                                parsed, error))
      << error;
  EXPECT_FALSE(parsed.list);
  EXPECT_FALSE(parsed.byName);
  EXPECT_EQ(parsed.processId, 1234u);
  EXPECT_TRUE(parsed.reportGiven);
  EXPECT_EQ(parsed.reportName, L"r.txt");
  EXPECT_EQ(parsed.dump.instructionCount, 200);
  EXPECT_FALSE(parsed.dump.symbolTableEnabled);
  EXPECT_FALSE(parsed.dump.memoryDumpEnabled);
  EXPECT_TRUE(parsed.dump.keepRunning);
}

TEST(CliArgs, DefaultsWithoutOptions) {
  CliArguments parsed;
  std::string error;
  ASSERT_TRUE(ParseCliArguments(Argv({L"8"}), parsed, error)) << error;
  EXPECT_EQ(parsed.processId, 8u);
  EXPECT_FALSE(parsed.reportGiven);
  EXPECT_EQ(parsed.dump.instructionCount, 16);
  EXPECT_TRUE(parsed.dump.symbolTableEnabled);
  EXPECT_TRUE(parsed.dump.memoryDumpEnabled);
  EXPECT_FALSE(parsed.dump.keepRunning);
}

// Names and report names stay wide text, whatever the code page could hold.
TEST(CliArgs, NameAndReportKeepTheirWideText) {
  CliArguments parsed;
  std::string error;
  const std::wstring name = L"\u30bd\u30d5\u30c8.exe";           // ソフト.exe
  const std::wstring report = L"C:\\r\u00e9\u30ec\u30dd\u30fc\u30c8.txt";  // é and レポート
  ASSERT_TRUE(ParseCliArguments(Argv({name, report}), parsed, error)) << error;
  EXPECT_TRUE(parsed.byName);
  EXPECT_EQ(parsed.processName, name);
  EXPECT_EQ(parsed.reportName, report);
}

TEST(CliArgs, AnEmptyReportNameIsGivenAndKept) {
  CliArguments parsed;
  std::string error;
  ASSERT_TRUE(ParseCliArguments(Argv({L"4", L""}), parsed, error)) << error;
  EXPECT_TRUE(parsed.reportGiven);
  EXPECT_EQ(parsed.reportName, L"");
}

TEST(CliArgs, TargetKinds) {
  struct Case {
    std::wstring target;
    bool byName;
    uint32_t id;
  };
  const Case cases[] = {
      {L"1", false, 1},
      {L"4294967295", false, 0xFFFFFFFFu},
      {L"0012", false, 12},
      {L"notepad.exe", true, 0},
      {L"12.exe", true, 0},
      {L"+5", true, 0},
      {L"my app.exe", true, 0},
      {L" 5", true, 0},
  };
  for (const Case& c : cases) {
    CliArguments parsed;
    std::string error;
    ASSERT_TRUE(ParseCliArguments(Argv({c.target}), parsed, error)) << error;
    EXPECT_EQ(parsed.byName, c.byName);
    EXPECT_EQ(parsed.processId, c.id);
    EXPECT_EQ(parsed.processName, c.byName ? c.target : L"");
  }
}

TEST(CliArgs, ListStandsAlone) {
  CliArguments parsed;
  std::string error;
  ASSERT_TRUE(ParseCliArguments(Argv({L"--list"}), parsed, error)) << error;
  EXPECT_TRUE(parsed.list);
}

// Every spelling of help, wherever it stands and whatever stands beside it, and --version.
TEST(CliArgs, HelpAndVersion) {
  const std::vector<std::vector<std::wstring>> helps = {
      {L"-h"}, {L"--help"}, {L"/?"}, {L"1234", L"-h"}, {L"--list", L"--help"}, {L"/?", L"1", L"2", L"3"}};
  for (const auto& args : helps) {
    CliArguments parsed;
    std::string error;
    ASSERT_TRUE(ParseCliArguments(Argv(args), parsed, error)) << error;
    EXPECT_TRUE(parsed.help);
    EXPECT_FALSE(parsed.version);
  }
  CliArguments parsed;
  std::string error;
  ASSERT_TRUE(ParseCliArguments(Argv({L"--version"}), parsed, error)) << error;
  EXPECT_TRUE(parsed.version);
  EXPECT_FALSE(parsed.help);
  EXPECT_NE(std::string(kCliUsage).find("--help"), std::string::npos);
  EXPECT_EQ(std::string(kCliVersion).rfind("tarnholm-cli ", 0), 0u);
}

// After "--" nothing is an option: a report named like an option, or a Unix-style path.
TEST(CliArgs, DoubleDashEndsTheOptions) {
  CliArguments parsed;
  std::string error;
  ASSERT_TRUE(ParseCliArguments(Argv({L"--keep-running", L"--", L"1234", L"-k"}), parsed, error)) << error;
  EXPECT_EQ(parsed.processId, 1234u);
  EXPECT_TRUE(parsed.dump.keepRunning);
  EXPECT_EQ(parsed.reportName, L"-k");
  ASSERT_TRUE(ParseCliArguments(Argv({L"1234", L"--", L"/tmp/r.txt"}), parsed, error)) << error;
  EXPECT_EQ(parsed.reportName, L"/tmp/r.txt");
  ASSERT_TRUE(ParseCliArguments(Argv({L"--", L"--list"}), parsed, error)) << error;  // a program named so
  EXPECT_FALSE(parsed.list);
  EXPECT_TRUE(parsed.byName);
  EXPECT_EQ(parsed.processName, L"--list");
  ASSERT_TRUE(ParseCliArguments(Argv({L"--", L"-1"}), parsed, error)) << error;  // a program may be named so
  EXPECT_TRUE(parsed.byName);
  EXPECT_EQ(parsed.processName, L"-1");
  ASSERT_TRUE(ParseCliArguments(Argv({L"--", L"5", L"--"}), parsed, error)) << error;  // only the first counts
  EXPECT_EQ(parsed.reportName, L"--");
}

TEST(CliArgs, Rejected) {
  struct Case {
    std::vector<std::wstring> args;
    std::string error;
  };
  const std::string after = "' (a name or report that begins with - or / goes after --)";
  const Case cases[] = {
      {{}, "no process given"},
      {{L"--keep-running"}, "no process given"},
      {{L"--"}, "no process given"},
      {{L"1", L"r.txt", L"extra"}, "too many arguments, from 'extra'"},
      {{L"4294967296"}, "no such process id '4294967296'"},
      {{L"99999999999"}, "no such process id '99999999999'"},
      {{L"0"}, "process id 0 is the system's idle process, which cannot be dumped"},
      {{L"000"}, "process id 0 is the system's idle process, which cannot be dumped"},
      {{L""}, "empty process name"},
      {{L"C:\\app\\prog.exe"}, "'C:\\app\\prog.exe' is neither a process id nor a program name"},
      {{L"--", L"/tmp/prog"}, "'/tmp/prog' is neither a process id nor a program name"},
      {{L"prog*.exe"}, "'prog*.exe' is neither a process id nor a program name"},
      {{L"a\tb.exe"}, "'a?b.exe' is neither a process id nor a program name"},
      {{L"1", L"--instructions"}, "--instructions needs a number"},
      {{L"1", L"--instructions", L"15"}, "--instructions takes 16 to 200, not '15'"},
      {{L"1", L"--instructions", L"201"}, "--instructions takes 16 to 200, not '201'"},
      {{L"1", L"--instructions", L"-16"}, "--instructions takes 16 to 200, not '-16'"},
      {{L"1", L"--instructions", L"2x"}, "--instructions takes 16 to 200, not '2x'"},
      {{L"1", L"--instructions", L""}, "--instructions takes 16 to 200, not ''"},
      {{L"1", L"--keep-runing"}, "unknown option '--keep-runing" + after},
      {{L"1", L"--\u00e9"}, "unknown option '--?" + after},
      // A typo of a short or Windows-style option is refused, never taken for a report name.
      {{L"1234", L"-k"}, "unknown option '-k" + after},
      {{L"1234", L"/keep-running"}, "unknown option '/keep-running" + after},
      {{L"-1"}, "unknown option '-1" + after},
      {{L"1", L"-"}, "unknown option '-" + after},
      {{L"1", L"/"}, "unknown option '/" + after},
      {{L"-H"}, "unknown option '-H" + after},
      {{L"--list", L"1"}, "--list takes no other arguments"},
      {{L"--list", L"--keep-running"}, "--list takes no other arguments"},
      {{L"--postmortem", L"12"}, "--postmortem takes a process id and an event handle, in decimal"},
      {{L"--postmortem", L"0", L"4"}, "--postmortem takes a process id and an event handle, in decimal"},
      {{L"--postmortem", L"12", L"0x4"}, "--postmortem takes a process id and an event handle, in decimal"},
      {{L"--postmortem", L"12", L"4", L"5"}, "--postmortem takes a process id and an event handle, in decimal"},
      {{L"--postmortem", L"12", L"4", L"--keep-running"},
       "--keep-running is for the attach moment only; a crashed program cannot run on"},
      {{L"--postmortem", L"12", L"4", L"--report=r.txt"}, "a postmortem report is named by its program; give --report-dir"},
      {{L"--install-postmortem", L"--uninstall-postmortem"},
       "--install-postmortem, --uninstall-postmortem and --postmortem go with no other way in"},
      {{L"--install-postmortem", L"--on-crash"},
       "--install-postmortem, --uninstall-postmortem and --postmortem go with no other way in"},
      {{L"--install-postmortem", L"12"}, "too many arguments, from '12'"},
      {{L"--uninstall-postmortem", L"--report-dir=C:\\r"}, "--uninstall-postmortem takes no other arguments"},
      {{L"--install-postmortem", L"--report-dir="}, "--report-dir needs a folder"},
      {{L"--install-postmortem", L"--report-dir"}, "--report-dir needs a folder"},
      {{L"12", L"--report-dir=C:\\r"}, "--report-dir goes with --install-postmortem or --postmortem"},
  };
  for (const Case& c : cases) {
    CliArguments parsed;
    std::string error;
    EXPECT_FALSE(ParseCliArguments(Argv(c.args), parsed, error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

TEST(CliArgs, NoArgumentsAtAllNotEvenTheProgram) {
  CliArguments parsed;
  std::string error;
  EXPECT_FALSE(ParseCliArguments({}, parsed, error));
  EXPECT_EQ(error, "no process given");
}

}  // namespace

namespace {

TEST(CliArgs, MinidumpKinds) {
  struct Case {
    std::vector<std::wstring> args;
    MinidumpKind kind;
  };
  const Case cases[] = {
      {{L"8"}, MinidumpKind::kNone},
      {{L"8", L"--minidump"}, MinidumpKind::kNormal},
      {{L"--minidump=normal", L"8", L"r.txt"}, MinidumpKind::kNormal},
      {{L"8", L"--minidump=full", L"--keep-running"}, MinidumpKind::kFull},
      {{L"8", L"--minidump=full", L"--minidump"}, MinidumpKind::kNormal},  // the last one holds
  };
  for (const Case& c : cases) {
    CliArguments parsed;
    std::string error;
    ASSERT_TRUE(ParseCliArguments(Argv(c.args), parsed, error)) << error;
    EXPECT_EQ(parsed.dump.minidump, c.kind);
    EXPECT_EQ(parsed.processId, 8u);
  }
}

TEST(CliArgs, MinidumpRefusals) {
  struct Case {
    std::vector<std::wstring> args;
    const char* error;
  };
  const Case cases[] = {
      {{L"8", L"--minidump=Full"}, "--minidump takes normal or full, not 'Full'"},
      {{L"8", L"--minidump="}, "--minidump takes normal or full, not ''"},
      {{L"8", L"--minidump=full,normal"}, "--minidump takes normal or full, not 'full,normal'"},
      {{L"8", L"--minidumps"}, "unknown option '--minidumps' (a name or report that begins with - or / goes after --)"},
      {{L"--list", L"--minidump"}, "--list takes no other arguments"},
  };
  for (const Case& c : cases) {
    CliArguments parsed;
    std::string error;
    EXPECT_FALSE(ParseCliArguments(Argv(c.args), parsed, error));
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace

namespace {

// The postmortem forms that run, and the command an install writes for the system.
TEST(CliArgs, Postmortem) {
  struct Case {
    std::vector<std::wstring> args;
    bool install, uninstall, postmortem;
    uint32_t processId, event;
    std::wstring reportDir;
    std::wstring command;  // of an install, from the companion C:\T b\tarnholm-cli.exe
  };
  const std::wstring tail = L" --postmortem %ld %ld";
  const Case cases[] = {
      {{L"--install-postmortem"}, true, false, false, 0, 0, L"", L"\"C:\\T b\\tarnholm-cli.exe\"" + tail},
      {{L"--install-postmortem", L"--report-dir=C:\\My Crashes\\", L"--instructions", L"40", L"--no-memory-dump",
        L"--minidump=full"},
       true, false, false, 0, 0, L"C:\\My Crashes\\",
       L"\"C:\\T b\\tarnholm-cli.exe\" --instructions 40 --no-memory-dump --minidump=full "
       L"\"--report-dir=C:\\My Crashes\\\\\"" + tail},
      {{L"--install-postmortem", L"--report-dir", L"D:\\100%"}, true, false, false, 0, 0, L"D:\\100%",
       L"\"C:\\T b\\tarnholm-cli.exe\" --report-dir=D:\\100%%" + tail},
      {{L"--uninstall-postmortem"}, false, true, false, 0, 0, L"", L""},
      {{L"--postmortem", L"4294967295", L"0"}, false, false, true, 0xFFFFFFFFu, 0, L"", L""},
      {{L"--no-symbol-table", L"--postmortem", L"1234", L"88", L"--report-dir=C:\\r"}, false, false, true, 1234, 88,
       L"C:\\r", L""},
  };
  for (const Case& c : cases) {
    CliArguments parsed;
    std::string error;
    ASSERT_TRUE(ParseCliArguments(Argv(c.args), parsed, error)) << error;
    EXPECT_EQ(parsed.installPostmortem, c.install);
    EXPECT_EQ(parsed.uninstallPostmortem, c.uninstall);
    EXPECT_EQ(parsed.postmortem, c.postmortem);
    EXPECT_EQ(parsed.processId, c.processId);
    EXPECT_EQ(parsed.eventHandle, c.event);
    EXPECT_EQ(parsed.reportDir, c.reportDir);
    EXPECT_EQ(parsed.dump.reportAt, c.postmortem ? ReportMoment::kUnhandled : ReportMoment::kFirstException);
    if (c.install) EXPECT_EQ(PostmortemCommand(L"C:\\T b\\tarnholm-cli.exe", parsed), c.command);
  }
}

}  // namespace
