#include <gtest/gtest.h>

#include "report/report.h"
#include "session/end_target.h"
#include "test_support.h"

namespace {

struct DriverFixture : SessionFixture {
  EXCEPTION_DEBUG_INFO exception{};
  DriverFixture() {
    session->options.symbolTableEnabled = false;
    session->options.memoryDumpEnabled = false;
  }
};

TEST(ReportDriver, HeaderWithoutPathOrModules) {
  DriverFixture f;
  WriteReport(*f.session, f.exception);
  EXPECT_EQ(f.Report(), " (pid=0)\r\n10/9/2001 14:5:7:123\r\n\r\n*----> Wait Chains <----*\r\n\r\n");
  EXPECT_EQ(sim::Calls("SymCleanup"), 1);
  // Only writes: ending the target is the debug loop's.
  EXPECT_EQ(sim::Calls("CreateThread"), 0);
  EXPECT_EQ(sim::Calls("TerminateProcess"), 0);
}

TEST(ReportDriver, ModuleEndWrapsAt4GiB) {
  DriverFixture f;
  f.session->AddModule(CModule("high.dll", 0xFFFF0000, 0x20000));
  f.session->AddModule(CModule("", 0x1000, 0x10));
  WriteReport(*f.session, f.exception);
  std::string report = f.Report();
  EXPECT_NE(report.find("(ffff0000 - 00010000) high.dll\r\n(00001000 - 00001010) (unknown module)\r\n\r\n"),
            std::string::npos);
}

TEST(ReportDriver, FailedContextReadIsLoggedAndZeroed) {
  DriverFixture f;
  sim::Thread& thread = sim::AddThread(0x30, 0x401000, 0x12ff00, 0x12ff40);
  thread.contextReadable = false;
  f.session->AddThread(thread.handle, thread.id);
  f.session->threads[0].eip = 5;
  WriteReport(*f.session, f.exception);
  EXPECT_EQ(f.log.lines, std::vector<std::string>{">>>>> GetThreadContext failed: err(6), hthread(0x1000)"});
  EXPECT_EQ(f.session->threads[0].eip, 0u);
  EXPECT_EQ(f.session->threads[0].context.Eip, 0u);
  EXPECT_EQ(f.session->threads[0].context.ContextFlags, 0x0001001Fu);
  EXPECT_NE(f.Report().find("State Dump for Thread ID 0x30\r\neax=00000000 "), std::string::npos);
}

TEST(ReportDriver, ContextReadCopiesPointers) {
  DriverFixture f;
  sim::Thread& thread = sim::AddThread(0x30, 0x401000, 0x12ff00, 0x12ff40);
  f.session->AddThread(thread.handle, thread.id);
  ReadThreadContext(*f.session, f.session->threads[0]);
  EXPECT_EQ(f.session->threads[0].eip, 0x401000u);
  EXPECT_EQ(f.session->threads[0].esp, 0x12ff00u);
  EXPECT_EQ(f.session->threads[0].ebp, 0x12ff40u);
  EXPECT_TRUE(f.log.lines.empty());
}

TEST(ReportDriver, TerminatorOpensTheTargetById) {
  DriverFixture f;
  f.session->processId = sim::target().processId;
  EXPECT_EQ(TerminateTarget(f.session.get()), 0u);
  EXPECT_TRUE(sim::target().terminated);
  f.session->processId = 999;  // gone: nothing logged, nothing ended
  EXPECT_EQ(TerminateTarget(f.session.get()), 0u);
  EXPECT_TRUE(f.log.lines.empty());
}

}  // namespace
