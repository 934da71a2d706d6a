#include <gtest/gtest.h>

#include "session/keep_running.h"
#include "test_support.h"

namespace {

// A target with two threads and two modules, attached by its script of events, dumped with
// keepRunning set.
struct KeepRunningFixture : SessionFixture {
  KeepRunningFixture() {
    sim::target().symbolsActive = false;
    sim::AddModule("C:\\app\\prog.exe", 0x00400000, 0x3c000);
    sim::AddModule("C:\\windows\\system32\\ntdll.dll", 0x7bc00000, 0x2ba000);
    sim::AddThread(0x24);
    sim::AddThread(0xe4);
    sim::ScriptAttachEvents();
    session->symbolTableEnabled = false;
    session->memoryDumpEnabled = false;
    session->keepRunning = true;
  }
};

using Calls = std::vector<std::string>;

TEST(KeepRunning, ReportThenDetachWithTheBreakpointHandled) {
  KeepRunningFixture f;
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(sim::DebugControlCalls(),
            (Calls{"DebugActiveProcess", "DebugSetProcessKillOnExit(0)", "ContinueDebugEvent(0x10002)",
                   "ContinueDebugEvent(0x10002)", "ContinueDebugEvent(0x10002)", "ContinueDebugEvent(0x10002)",
                   "DebugActiveProcessStop"}));
  EXPECT_EQ(sim::Calls("TerminateProcess"), 0);
  EXPECT_EQ(sim::Calls("CreateThread"), 0);  // no terminating worker
  EXPECT_FALSE(sim::target().terminated);
  EXPECT_FALSE(sim::target().debuggerAttached);
  EXPECT_FALSE(sim::target().killOnExit);
  EXPECT_FALSE(sim::target().symbolsActive);  // the symbol handler is shut down all the same
  EXPECT_EQ(f.log.lines, (std::vector<std::string>{"debug_event hProcess:124",
                                                   "Attach C:\\app\\prog.exe Base=0x00400000",
                                                   "Attach C:\\windows\\system32\\ntdll.dll Base=0x7bc00000"}));
  const std::string report = f.Report();
  EXPECT_NE(report.find("State Dump for Thread ID 0x24\r\n"), std::string::npos);
  EXPECT_NE(report.find("State Dump for Thread ID 0xe4\r\n"), std::string::npos);
}

// The report is the one the target-ending dump writes, byte for byte.
TEST(KeepRunning, SameReportAsWhenTheTargetEnds) {
  std::string reports[2];
  for (int keep = 0; keep < 2; ++keep) {
    KeepRunningFixture f;
    f.session->keepRunning = keep != 0;
    f.session->memoryDumpEnabled = true;
    sim::AddRegion(0x00400000, 0x1000, PAGE_READONLY, MEM_IMAGE);
    EXPECT_TRUE(f.session->RunDebugLoop(1234));
    EXPECT_EQ(sim::target().terminated, keep == 0);
    reports[keep] = f.Report();
  }
  EXPECT_EQ(reports[0], reports[1]);
  EXPECT_NE(reports[0].find("*----> Commited Memory (0x00400000-    4096) r-- I <----*\r\n"), std::string::npos);
}

// Any other exception goes back unhandled, as it would without a debugger; the session
// still detaches after its report.
TEST(KeepRunning, AnExceptionOfTheTargetStaysItsOwn) {
  KeepRunningFixture f;
  sim::target().events.back().u.Exception.ExceptionRecord.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  ASSERT_GE(sim::DebugControlCalls().size(), 2u);
  const Calls& calls = sim::DebugControlCalls();
  EXPECT_EQ(calls[calls.size() - 2], "ContinueDebugEvent(0x80010001)");
  EXPECT_EQ(calls.back(), "DebugActiveProcessStop");
  EXPECT_FALSE(sim::target().terminated);
}

// Only the first exception is reported: after it the session is no longer the debugger.
TEST(KeepRunning, OneReportEvenWithASecondException) {
  KeepRunningFixture f;
  DEBUG_EVENT second = sim::target().events.back();
  sim::target().events.push_back(second);
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(sim::Calls("WaitForDebugEvent"), 4);
  const std::string report = f.Report();
  EXPECT_EQ(report.find("(pid=1234)"), report.rfind("(pid=1234)"));
}

TEST(KeepRunning, FailuresAreLoggedAndTheTargetIsNotEnded) {
  KeepRunningFixture f;
  sim::target().detachAllowed = false;
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(f.log.lines.back(), "Can't detach from process 1234 (e=5)");
  EXPECT_EQ(sim::Calls("TerminateProcess"), 0);
  EXPECT_FALSE(sim::target().terminated);
}

// Without a debuggee the platform refuses the setting; the line says so.
TEST(KeepRunning, KillOnExitRefusedIsLogged) {
  KeepRunningFixture f;
  KeepTargetAfterDebuggerEnds(*f.session);
  EXPECT_EQ(f.log.lines, std::vector<std::string>{"DebugSetProcessKillOnExit failed (6)"});
  EXPECT_TRUE(sim::target().killOnExit);
}

// The wizard's path is unchanged: the target is ended and the breakpoint goes back unhandled.
TEST(KeepRunning, WithoutItTheTargetIsEnded) {
  KeepRunningFixture f;
  f.session->keepRunning = false;
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(sim::DebugControlCalls(),
            (Calls{"DebugActiveProcess", "ContinueDebugEvent(0x10002)", "ContinueDebugEvent(0x10002)",
                   "ContinueDebugEvent(0x10002)", "TerminateProcess", "ContinueDebugEvent(0x80010001)"}));
  EXPECT_TRUE(sim::target().terminated);
  EXPECT_TRUE(sim::target().killOnExit);
}

}  // namespace
