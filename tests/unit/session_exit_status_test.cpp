// The companion's exit status from whole runs of the event loop on the simulated target.
#include <gtest/gtest.h>

#include "session/exit_status.h"
#include "test_support.h"

namespace {

struct ExitFixture : SessionFixture {
  ExitFixture() {
    sim::target().symbolsActive = false;
    sim::AddModule("C:\\app\\prog.exe", 0x00400000, 0x1000);
    sim::AddThread(0x24);
    sim::AddRegion(0x00400000, 0x1000, PAGE_READONLY, MEM_IMAGE);
    sim::AddRegion(0x10000000, 0x20000);
    sim::ScriptAttachEvents();
    session->options.symbolTableEnabled = false;
  }
  DumpExitCode Run() { return DumpExitStatus(*session, session->RunDebugLoop(1234)); }
};

TEST(ExitStatus, ReportAndEveryRegionFileWritten) {
  ExitFixture f;
  EXPECT_EQ(f.Run(), kExitDumped);
}

TEST(ExitStatus, AttachRefused) {
  ExitFixture f;
  sim::target().attachAllowed = false;
  EXPECT_EQ(f.Run(), kExitAttachFailed);
}

TEST(ExitStatus, NoEventBeforeTheWaitTimesOut) {
  ExitFixture f;
  sim::target().events.clear();
  EXPECT_EQ(f.Run(), kExitWaitTimedOut);
  EXPECT_EQ(f.log.lines.back(), "WaitForDebugEvent Failed (121)");
}

TEST(ExitStatus, WaitTimesOutAfterTheCreationEvents) {
  ExitFixture f;
  sim::target().events.pop_back();  // no breakpoint
  EXPECT_EQ(f.Run(), kExitWaitTimedOut);
}

TEST(ExitStatus, TargetExitsBeforeTheReport) {
  ExitFixture f;
  DEBUG_EVENT exit{};
  exit.dwDebugEventCode = EXIT_PROCESS_DEBUG_EVENT;
  exit.dwProcessId = 1234;
  sim::target().events.back() = exit;
  EXPECT_EQ(f.Run(), kExitTargetExited);
}

TEST(ExitStatus, ReportWriteFails) {
  ExitFixture f;
  sim::target().diskBytesLeft = 100;
  EXPECT_EQ(f.Run(), kExitWriteFailed);
}

TEST(ExitStatus, RegionFileWriteFails) {
  ExitFixture f;
  f.Run();  // measures how much the report and the files take
  size_t report = f.Report().size();
  ExitFixture g;
  sim::target().diskBytesLeft = report + 0x1000 + 0x10000;  // the second file stops halfway
  EXPECT_EQ(g.Run(), kExitWriteFailed);
  EXPECT_EQ(g.Report().size(), report);
}

// Region file names too long for the platform: the dump is refused before it starts.
TEST(ExitStatus, RegionFileNamesTooLong) {
  ExitFixture f;
  f.session.reset();
  std::string longName = f.dir + "/" + std::string(240, 'r');
  f.session.reset(new CLogFile(longName.c_str(), f.log.pane));
  f.session->AddListener(ReportListener());
  EXPECT_EQ(DumpExitStatus(*f.session, f.session->RunDebugLoop(1234)), kExitReportNotCreated);
  EXPECT_EQ(sim::Calls("DebugActiveProcess"), 0);
}

// A failed keep-running step outranks a failed write: the target may not be as it was.
TEST(ExitStatus, KeepRunningFailureOutranksAFailedWrite) {
  ExitFixture f;
  f.session->options.keepRunning = true;
  sim::target().detachAllowed = false;
  sim::target().diskBytesLeft = 100;
  EXPECT_EQ(f.Run(), kExitKeepRunningFailed);
}

}  // namespace
