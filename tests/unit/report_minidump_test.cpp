// The minidump beside the report: written once by the platform's writer, from the stopped
// target, after the report's sections and before the target is ended or let go, with the
// event's thread as its exception.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "report/minidump.h"
#include "report/report.h"
#include "session/exit_status.h"
#include "test_support.h"

namespace {

using Calls = std::vector<std::string>;

// A target with its main thread and the thread that attaching breaks in with (the last one
// created, as on Windows), a module and two committed regions.
struct MinidumpFixture : SessionFixture {
  std::string dumpPath = reportPath + ".dmp";
  explicit MinidumpFixture(MinidumpKind kind = MinidumpKind::kNormal) {
    sim::target().symbolsActive = false;
    sim::AddModule("C:\\app\\prog.exe", 0x00400000, 0x1000);
    sim::AddModule("C:\\windows\\system32\\ntdll.dll", 0x7bc00000, 0x1000);
    sim::AddThread(0x24, 0x00400010, 0x0012ff00, 0x0012ff40);
    sim::AddThread(0xe4, 0x7bc00100, 0x0022ff00, 0x0022ff40);
    sim::AddRegion(0x00400000, 0x1000, PAGE_READONLY, MEM_IMAGE);
    sim::AddRegion(0x10000000, 0x2000);
    sim::ScriptAttachEvents();
    session->options.symbolTableEnabled = false;
    session->options.minidump = kind;
  }
  DumpExitCode Run() { return DumpExitStatus(*session, session->RunDebugLoop(1234)); }
  bool DumpExists() const {
    struct stat info;
    return stat(dumpPath.c_str(), &info) == 0;
  }
};

// The report of the same target without a minidump, and the WriteFile calls it took.
std::string ReportWithoutMinidump(int* writes) {
  MinidumpFixture f(MinidumpKind::kNone);
  EXPECT_EQ(f.Run(), kExitDumped);
  EXPECT_EQ(sim::Calls("MiniDumpWriteDump"), 0);
  EXPECT_FALSE(f.DumpExists());
  *writes = sim::Calls("WriteFile");
  return f.Report();
}

TEST(Minidump, TypesOfTheKinds) {
  EXPECT_EQ(MinidumpType(MinidumpKind::kNone), MiniDumpNormal);
  // Stacks (always), data segments, handle data, unloaded modules, thread info.
  EXPECT_EQ(static_cast<DWORD>(MinidumpType(MinidumpKind::kNormal)), 0x1025u);
  EXPECT_EQ(static_cast<DWORD>(MinidumpType(MinidumpKind::kFull)), 0x1027u);  // and all memory
}

TEST(Minidump, OnceFromTheStoppedTargetBeforeItEnds) {
  int plainWrites = 0;
  const std::string plainReport = ReportWithoutMinidump(&plainWrites);

  MinidumpFixture f;
  EXPECT_EQ(f.Run(), kExitDumped);
  EXPECT_EQ(sim::DebugControlCalls(),
            (Calls{"DebugActiveProcess", "ContinueDebugEvent(0x10002)", "ContinueDebugEvent(0x10002)",
                   "ContinueDebugEvent(0x10002)", "MiniDumpWriteDump", "TerminateProcess",
                   "ContinueDebugEvent(0x80010001)"}));
  ASSERT_EQ(sim::MinidumpCalls().size(), 1u);
  const sim::MinidumpCall& call = sim::MinidumpCalls()[0];
  EXPECT_EQ(call.process, sim::target().processHandle);  // the debuggee's handle from its creation event
  EXPECT_EQ(call.processId, 1234u);
  EXPECT_EQ(call.fileName, f.dumpPath);
  EXPECT_TRUE(call.fileWritable);
  EXPECT_EQ(call.type, 0x1025u);
  EXPECT_TRUE(call.targetStopped);
  EXPECT_TRUE(call.symbolsActive);  // before the symbol handler is shut down
  // After every write of the report and its region files.
  EXPECT_EQ(call.writesBefore, static_cast<DWORD>(plainWrites));
  EXPECT_EQ(f.log.lines[f.log.lines.size() - 2], "Writing minidump " + f.dumpPath + " (normal)");
  EXPECT_EQ(f.log.lines.back(), "Minidump " + f.dumpPath + " written");
  EXPECT_EQ(ReadWholeFile(f.dumpPath).substr(0, 4), "MDMP");
  EXPECT_EQ(f.Report(), plainReport);  // the report itself is unchanged
}

// The breakpoint of the attach is the dump's exception, in the thread it was raised in and
// with the registers the report printed for that thread; the pointers are the tool's own.
TEST(Minidump, TheAttachBreakpointIsItsException) {
  MinidumpFixture f;
  EXPECT_EQ(f.Run(), kExitDumped);
  ASSERT_EQ(sim::MinidumpCalls().size(), 1u);
  const sim::MinidumpCall& call = sim::MinidumpCalls()[0];
  EXPECT_TRUE(call.withException);
  EXPECT_EQ(call.threadId, 0xe4u);
  EXPECT_EQ(call.exceptionCode, static_cast<DWORD>(EXCEPTION_BREAKPOINT));
  EXPECT_EQ(call.clientPointers, FALSE);
  EXPECT_EQ(call.context.Eip, 0x7bc00100u);
  EXPECT_EQ(call.context.Esp, 0x0022ff00u);
  EXPECT_EQ(call.context.ContextFlags, 0x0001001Fu);
  EXPECT_EQ(memcmp(&call.context, &f.session->threads[1].context, sizeof(CONTEXT)), 0);
}

TEST(Minidump, FullKind) {
  MinidumpFixture f(MinidumpKind::kFull);
  EXPECT_EQ(f.Run(), kExitDumped);
  ASSERT_EQ(sim::MinidumpCalls().size(), 1u);
  EXPECT_EQ(sim::MinidumpCalls()[0].type, 0x1027u);
  EXPECT_EQ(f.log.lines[f.log.lines.size() - 2], "Writing minidump " + f.dumpPath + " (full)");
}

// Kept running: the dump comes before the event is continued and the session detaches.
TEST(Minidump, BeforeTheDetachWhenKeptRunning) {
  MinidumpFixture f;
  f.session->options.keepRunning = true;
  EXPECT_EQ(f.Run(), kExitDumped);
  EXPECT_EQ(sim::DebugControlCalls(),
            (Calls{"DebugActiveProcess", "DebugSetProcessKillOnExit(0)", "ContinueDebugEvent(0x10002)",
                   "ContinueDebugEvent(0x10002)", "ContinueDebugEvent(0x10002)", "MiniDumpWriteDump",
                   "ContinueDebugEvent(0x10002)", "DebugActiveProcessStop"}));
  EXPECT_TRUE(sim::MinidumpCalls()[0].targetStopped);
  EXPECT_FALSE(sim::target().terminated);
  EXPECT_TRUE(f.DumpExists());
}

// A second exception event appends a second report, but the minidump keeps the first moment.
TEST(Minidump, OneDumpForTwoReports) {
  MinidumpFixture f;
  sim::target().events.push_back(sim::target().events.back());
  EXPECT_EQ(f.Run(), kExitDumped);
  EXPECT_EQ(f.session->reportsWritten, 2u);
  EXPECT_EQ(sim::Calls("MiniDumpWriteDump"), 1);
}

// An event of a thread the table does not know: the dump is written without an exception.
TEST(Minidump, NoExceptionForAThreadOutsideTheTable) {
  MinidumpFixture f;
  sim::target().events.back().dwThreadId = 0x999;
  EXPECT_EQ(f.Run(), kExitDumped);
  ASSERT_EQ(sim::MinidumpCalls().size(), 1u);
  EXPECT_FALSE(sim::MinidumpCalls()[0].withException);
}

// The writer fails: its line with the HRESULT, no half-written file left, its own exit
// status, and the report whole all the same.
TEST(Minidump, FailureIsLoggedTheFileRemovedAndTheReportKept) {
  int plainWrites = 0;
  const std::string plainReport = ReportWithoutMinidump(&plainWrites);
  MinidumpFixture f;
  sim::target().minidumpError = 0x8007001F;
  EXPECT_EQ(f.Run(), kExitMinidumpFailed);
  EXPECT_EQ(f.log.lines.back(), "MiniDumpWriteDump failed (e=0x8007001f); " + f.dumpPath + " removed");
  EXPECT_FALSE(f.DumpExists());
  EXPECT_TRUE(sim::target().terminated);
  EXPECT_EQ(f.Report(), plainReport);
}

// The disk fills up just after the report: the dump fails, the report's status stays clean.
TEST(Minidump, DiskFullAfterTheReport) {
  int plainWrites = 0;
  const std::string plainReport = ReportWithoutMinidump(&plainWrites);
  // The room the report and its region files take, and ten bytes more.
  MinidumpFixture g;
  sim::target().diskBytesLeft = plainReport.size() + 0x1000 + 0x2000 + 10;
  EXPECT_EQ(g.Run(), kExitMinidumpFailed);
  EXPECT_EQ(g.log.lines.back(), "MiniDumpWriteDump failed (e=0x80070070); " + g.dumpPath + " removed");
  EXPECT_FALSE(g.DumpExists());
  EXPECT_EQ(g.Report(), plainReport);
}

TEST(Minidump, FileCannotBeCreated) {
  MinidumpFixture f;
  ASSERT_EQ(mkdir(f.dumpPath.c_str(), 0700), 0);  // a folder of that name
  EXPECT_EQ(f.Run(), kExitMinidumpFailed);
  EXPECT_EQ(f.log.lines.back(), "File:" + f.dumpPath + " creation failed (5)");
  EXPECT_EQ(sim::Calls("MiniDumpWriteDump"), 0);
  EXPECT_TRUE(sim::target().terminated);
  rmdir(f.dumpPath.c_str());
}

// A report write that fails outranks the minidump in the exit status; both have their lines.
TEST(Minidump, AFailedReportWriteComesFirst) {
  MinidumpFixture f;
  sim::target().minidumpError = 0x8007001F;
  sim::target().failWritesAfter = 3;
  EXPECT_EQ(f.Run(), kExitWriteFailed);
  EXPECT_TRUE(f.session->minidumpFailed);
}

}  // namespace
