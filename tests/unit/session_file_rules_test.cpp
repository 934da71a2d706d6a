// The session's files: a report made only once the attach has succeeded, a default name that
// never replaces a file, region files of an earlier dump removed or the dump refused; and a
// keep-running dump that leaves the target's guard pages as they were.
#include <gtest/gtest.h>

#include "session/exit_status.h"
#include "test_support.h"

namespace {

void WriteFile(const std::string& path, const std::string& text) {
  FILE* file = fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  fputs(text.c_str(), file);
  fclose(file);
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// A target attached by its script of events, dumped with a session that creates its report
// only after the attach.
struct RulesFixture {
  LineRecorder log;
  std::string dir = ScratchDir();
  std::string reportPath = dir + "/crash.txt";
  std::unique_ptr<CLogFile> session;

  explicit RulesFixture(ReportCreation creation = ReportCreation::kAfterAttach) {
    sim::Reset();
    sim::AddModule("C:\\app\\prog.exe", 0x00400000, 0x1000);
    sim::AddThread(0x24);
    sim::AddRegion(0x00400000, 0x1000, PAGE_READONLY, MEM_IMAGE);
    sim::ScriptAttachEvents();
    session.reset(new CLogFile(sim::WideText(reportPath).c_str(), log.pane, creation));
    session->AddListener(ReportListener());
    session->options.symbolTableEnabled = false;
  }
  DumpExitCode Run() { return DumpExitStatus(*session, session->RunDebugLoop(1234)); }
  bool Logged(const std::string& line) const {
    for (const std::string& logged : log.lines) {
      if (logged == line) return true;
    }
    return false;
  }
};

using Calls = std::vector<std::string>;

TEST(ReportFile, CreatedOnlyOnceTheAttachHasSucceeded) {
  RulesFixture f;
  EXPECT_EQ(f.session->reportFile, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Exists(f.reportPath));
  EXPECT_EQ(f.Run(), kExitDumped);
  f.session.reset();
  EXPECT_NE(ReadWholeFile(f.reportPath).find("(pid=1234)"), std::string::npos);
}

// Re-running a dump of a process that has gone leaves the earlier report as it was.
TEST(ReportFile, AFailedAttachLeavesAnExistingFileUntouched) {
  RulesFixture f;
  WriteFile(f.reportPath, "the earlier report");
  WriteFile(f.reportPath + ".00400000.bin", "its region");
  sim::target().attachAllowed = false;
  EXPECT_EQ(f.Run(), kExitAttachFailed);
  EXPECT_EQ(f.log.lines, std::vector<std::string>{"Can't attach to process 1234 (e=5)"});
  f.session.reset();
  EXPECT_EQ(ReadWholeFile(f.reportPath), "the earlier report");
  EXPECT_EQ(ReadWholeFile(f.reportPath + ".00400000.bin"), "its region");
  EXPECT_EQ(sim::Calls("CreateFileW"), 0);
}

// A default name is the tool's choice: an existing file of that name is refused, not replaced,
// and the target, already attached, runs on.
TEST(ReportFile, ANewNameNeverReplacesAFile) {
  RulesFixture f(ReportCreation::kAfterAttachNew);
  WriteFile(f.reportPath, "someone else's file");
  EXPECT_EQ(f.Run(), kExitReportNotCreated);
  EXPECT_EQ(f.log.lines, std::vector<std::string>{"File:" + f.reportPath + " creation failed (80)"});
  EXPECT_EQ(sim::DebugControlCalls(),
            (Calls{"DebugActiveProcess", "DebugSetProcessKillOnExit(0)", "DebugActiveProcessStop"}));
  EXPECT_FALSE(sim::target().terminated);
  f.session.reset();
  EXPECT_EQ(ReadWholeFile(f.reportPath), "someone else's file");
}

TEST(ReportFile, ANewNameIsCreatedWhenFree) {
  RulesFixture f(ReportCreation::kAfterAttachNew);
  EXPECT_EQ(f.Run(), kExitDumped);
  EXPECT_TRUE(Exists(f.reportPath));
}

// Region files beside the report that this dump would not rewrite are removed first, and one
// line says so; files that only look alike stay.
TEST(RegionFiles, ThoseOfAnEarlierDumpAreRemoved) {
  RulesFixture f;
  WriteFile(f.reportPath, "the earlier report");
  for (const char* suffix : {".00400000.bin", ".7FFD0000.bin", ".deadbeef.bin", ".0040000.bin", ".0040000G.bin",
                             ".00400000.bin.old", ".00400000.txt"}) {
    WriteFile(f.reportPath + suffix, "old");
  }
  WriteFile(f.dir + "/other.txt.00400000.bin", "another report's");
  EXPECT_EQ(f.Run(), kExitDumped);
  EXPECT_TRUE(f.Logged("Removed 3 region files of an earlier dump beside " + f.reportPath));
  EXPECT_FALSE(Exists(f.reportPath + ".7FFD0000.bin"));
  EXPECT_FALSE(Exists(f.reportPath + ".deadbeef.bin"));
  EXPECT_EQ(ReadWholeFile(f.reportPath + ".00400000.bin").size(), 0x1000u);  // this dump's own
  for (const char* suffix : {".0040000.bin", ".0040000G.bin", ".00400000.bin.old", ".00400000.txt"}) {
    EXPECT_EQ(ReadWholeFile(f.reportPath + suffix), "old") << suffix;
  }
  EXPECT_EQ(ReadWholeFile(f.dir + "/other.txt.00400000.bin"), "another report's");
}

// Without a memory dump the report still gets no region file of another dump beside it.
TEST(RegionFiles, RemovedAlsoWithoutAMemoryDump) {
  RulesFixture f;
  f.session->options.memoryDumpEnabled = false;
  WriteFile(f.reportPath + ".00400000.bin", "old");
  EXPECT_EQ(f.Run(), kExitDumped);
  EXPECT_FALSE(Exists(f.reportPath + ".00400000.bin"));
  EXPECT_TRUE(f.Logged("Removed 1 region files of an earlier dump beside " + f.reportPath));
}

// A file that cannot be removed: the dump is refused before the report is made, the target
// runs on, and the line names the file.
TEST(RegionFiles, OneThatCannotBeRemovedRefusesTheDump) {
  RulesFixture f;
  WriteFile(f.reportPath, "the earlier report");
  WriteFile(f.reportPath + ".00500000.bin", "old");
  sim::target().deleteFails = true;
  EXPECT_EQ(f.Run(), kExitReportNotCreated);
  EXPECT_EQ(f.log.lines.back(), "Dump refused: region file " + f.reportPath +
                                    ".00500000.bin of an earlier dump cannot be removed (e=5)");
  EXPECT_EQ(sim::DebugControlCalls(),
            (Calls{"DebugActiveProcess", "DebugSetProcessKillOnExit(0)", "DebugActiveProcessStop"}));
  EXPECT_FALSE(sim::target().terminated);
  f.session.reset();
  EXPECT_EQ(ReadWholeFile(f.reportPath), "the earlier report");
  EXPECT_EQ(ReadWholeFile(f.reportPath + ".00500000.bin"), "old");
}

// REPORT.dmp of an earlier dump: removed whether or not this dump writes one, so a minidump
// beside the report is always of this report's moment; one that cannot be removed refuses
// the dump as a region file does.
TEST(EarlierMinidump, RemovedOrTheDumpRefused) {
  struct Case {
    const char* name;
    bool earlier;       // a REPORT.dmp is there before the dump
    MinidumpKind kind;  // this dump's minidump
    bool deleteFails;
    DumpExitCode status;
    const char* line;   // the line after "...beside REPORT" / "...minidump REPORT.dmp", or none
    bool dmpAfter;      // a REPORT.dmp is there after the dump
  };
  const Case cases[] = {
      {"earlier, none now", true, MinidumpKind::kNone, false, kExitDumped, "removed", false},
      {"earlier, a new one now", true, MinidumpKind::kNormal, false, kExitDumped, "removed", true},
      {"none there", false, MinidumpKind::kNone, false, kExitDumped, nullptr, false},
      {"none there, removal would fail", false, MinidumpKind::kNone, true, kExitDumped, nullptr, false},
      {"in use", true, MinidumpKind::kNone, true, kExitReportNotCreated, "refused", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RulesFixture f;
    f.session->options.minidump = c.kind;
    if (c.earlier) WriteFile(f.reportPath + ".dmp", "an earlier moment");
    sim::target().deleteFails = c.deleteFails;
    EXPECT_EQ(f.Run(), c.status);
    const std::string removed = "Removed the minidump of an earlier dump beside " + f.reportPath;
    const std::string refused =
        "Dump refused: minidump " + f.reportPath + ".dmp of an earlier dump cannot be removed (e=5)";
    EXPECT_EQ(f.Logged(removed), c.line != nullptr && std::string(c.line) == "removed");
    EXPECT_EQ(f.Logged(refused), c.line != nullptr && std::string(c.line) == "refused");
    f.session.reset();
    EXPECT_EQ(Exists(f.reportPath + ".dmp"), c.dmpAfter);
    if (c.dmpAfter) {
      // A refusal leaves the earlier one as it was; a new dump's is not the earlier one.
      EXPECT_EQ(ReadWholeFile(f.reportPath + ".dmp") == "an earlier moment", c.status != kExitDumped);
    }
    if (c.status == kExitReportNotCreated) {
      EXPECT_FALSE(Exists(f.reportPath));
      EXPECT_FALSE(sim::target().terminated);
    }
  }
}

// Names too long for the region files refuse the dump before the target is touched.
TEST(RegionFiles, NamesTooLongRefuseBeforeTheAttach) {
  RulesFixture f;
  f.session.reset();
  const std::string longName = f.dir + "/" + std::string(240, 'r');
  f.session.reset(new CLogFile(sim::WideText(longName).c_str(), f.log.pane, ReportCreation::kAfterAttach));
  EXPECT_EQ(f.Run(), kExitReportNotCreated);
  EXPECT_EQ(sim::Calls("DebugActiveProcess"), 0);
  EXPECT_FALSE(Exists(longName));
  ASSERT_EQ(f.log.lines.size(), 1u);
  EXPECT_EQ(f.log.lines[0].substr(0, 5 + longName.size() + 9), "File:" + longName + " refused:");
}

// A stack that ends in its guard page, and a guard region of its own: the dump's reads clear
// the guards they touch (as on Windows), and a keep-running dump gives every one back.
struct GuardFixture : RulesFixture {
  static constexpr DWORD kPage = 0x1000, kTop = 0x00130000, kEsp = kTop - 0x180, kGuard = kTop - 3 * kPage;
  GuardFixture() {
    sim::AddRegion(0x00030000, kGuard - 0x00030000, PAGE_READWRITE, MEM_PRIVATE, MEM_RESERVE);
    sim::AddRegion(kGuard, kPage, PAGE_READWRITE | PAGE_GUARD);
    sim::AddRegion(kGuard + kPage, 2 * kPage);
    sim::AddRegion(0x00800000, 4 * kPage, PAGE_READWRITE | PAGE_GUARD);
    sim::target().threads[0].context.Esp = kEsp;
    sim::target().threads[0].context.Ebp = kEsp;
    session->options.keepRunning = true;
  }
};

TEST(KeepRunningGuards, ProtectionsAfterTheDumpEqualThoseBefore) {
  GuardFixture f;
  const std::map<DWORD, DWORD> before = sim::PageProtections();
  const size_t regionsBefore = sim::target().regions.size();
  EXPECT_EQ(f.Run(), kExitDumped);
  EXPECT_EQ(sim::PageProtections(), before);
  EXPECT_EQ(sim::target().regions.size(), regionsBefore);
  // The stack's guard page, and the two pages of the guard region that the region dump's
  // halving reads touched before its read of the first page succeeded.
  EXPECT_EQ(sim::target().guardsRestored, 3u);
  EXPECT_TRUE(f.Logged("Guard restored on 3 pages the dump's reads had touched"));
  EXPECT_FALSE(sim::target().terminated);
}

// The same dump without keep-running ends the target and restores nothing: the guards the
// reads cleared stay cleared, which is what the restore is for.
TEST(KeepRunningGuards, TheReadsDoClearTheGuards) {
  GuardFixture f;
  f.session->options.keepRunning = false;
  const std::map<DWORD, DWORD> before = sim::PageProtections();
  EXPECT_EQ(f.Run(), kExitDumped);
  EXPECT_NE(sim::PageProtections(), before);
  EXPECT_EQ(sim::Calls("VirtualProtectEx"), 0);
}

TEST(KeepRunningGuards, WithoutMemoryDumpOnlyTheStackGuardIsTouched) {
  GuardFixture f;
  f.session->options.memoryDumpEnabled = false;
  const std::map<DWORD, DWORD> before = sim::PageProtections();
  EXPECT_EQ(f.Run(), kExitDumped);
  EXPECT_EQ(sim::PageProtections(), before);
  EXPECT_EQ(sim::target().guardsRestored, 1u);
}

// Each keep-running step that fails has its line and its own exit status; the target is
// never ended.
TEST(KeepRunningSteps, EachFailureHasItsLineAndStatus) {
  struct Case {
    const char* name;
    void (*arrange)();
    const char* line;
  };
  const Case cases[] = {
      {"kill-on-exit", [] { sim::target().killOnExitFails = true; }, "DebugSetProcessKillOnExit failed (5)"},
      {"continue", [] { sim::target().continueFails = true; }, "Can't continue process 1234 (e=6)"},
      {"detach", [] { sim::target().detachAllowed = false; }, "Can't detach from process 1234 (e=5)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RulesFixture f;
    f.session->options.keepRunning = true;
    c.arrange();
    EXPECT_EQ(f.Run(), kExitKeepRunningFailed);
    EXPECT_TRUE(f.Logged(c.line));
    EXPECT_FALSE(sim::target().terminated);
  }
}

}  // namespace
