// The companion's look-up of its target, with the exit status of every way it can fail.
#include <gtest/gtest.h>

#include "session/exit_status.h"
#include "sim/sim.h"
#include "tools/cli/target_lookup.h"

namespace {

void Listed(DWORD id, const std::string& path, bool is64Bit = false, bool openable = true) {
  sim::Process process;
  process.id = id;
  process.path = path;
  process.workingSet = 4096;
  process.is64Bit = is64Bit;
  process.openable = openable;
  sim::target().processes.push_back(process);
}

// A 64-bit system with two workers, a 64-bit service and a process the tool may not open.
void World() {
  sim::Reset();
  sim::target().wow64 = true;
  Listed(8, "C:\\app\\worker.exe");
  Listed(12, "C:\\app\\worker.exe");
  Listed(16, "C:\\Windows\\System32\\svchost.exe", true);
  Listed(20, "C:\\app\\single.exe");
  Listed(24, "C:\\app\\locked.exe", false, false);
}

CliArguments Target(const std::wstring& text) {
  CliArguments args;
  std::string error;
  std::vector<std::wstring> argv = {L"tarnholm-cli.exe", text};
  EXPECT_TRUE(ParseCliArguments(argv, args, error)) << error;
  return args;
}

TEST(TargetLookUp, EachOutcomeHasItsStatusAndLine) {
  struct Case {
    std::wstring target;
    int status;
    uint32_t id;
    std::wstring programName;
    std::string failure;
  };
  const Case cases[] = {
      {L"single.exe", kExitDumped, 20, L"single.exe", ""},
      {L"SINGLE.EXE", kExitDumped, 20, L"single.exe", ""},
      {L"20", kExitDumped, 20, L"", ""},
      {L"nosuch.exe", kExitNoSuchProcess, 0, L"", "no process named nosuch.exe"},
      {L"44", kExitNoSuchProcess, 44, L"", "no process with id 44"},
      {L"worker.exe", kExitSeveralProcesses, 0, L"", "2 processes named worker.exe, ids 8, 12; give one id"},
      {L"svchost.exe", kExitProcessIs64Bit, 16, L"",
       "svchost.exe (process 16) is a 64-bit process; only 32-bit processes can be dumped"},
      {L"16", kExitProcessIs64Bit, 16, L"", "process 16 is a 64-bit process; only 32-bit processes can be dumped"},
      {L"24", kExitAttachFailed, 24, L"", "can't open process 24 (e=5)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(sim::Utf8Text(c.target));
    World();
    uint32_t id = 0;
    std::wstring programName;
    std::string failure;
    EXPECT_EQ(LookUpTarget(Target(c.target), id, programName, failure), c.status);
    if (c.id != 0) {
      EXPECT_EQ(id, c.id);
    }
    EXPECT_EQ(programName, c.programName);
    EXPECT_EQ(failure, c.failure);
  }
}

// The exit statuses are a table that scripts rely on: each keeps its number.
TEST(TargetLookUp, ExitStatusTable) {
  EXPECT_EQ(kExitDumped, 0);
  EXPECT_EQ(kExitReportNotCreated, 1);
  EXPECT_EQ(kExitAttachFailed, 2);
  EXPECT_EQ(kExitBadArguments, 3);
  EXPECT_EQ(kExitWriteFailed, 4);
  EXPECT_EQ(kExitWaitTimedOut, 5);
  EXPECT_EQ(kExitTargetExited, 6);
  EXPECT_EQ(kExitNoSuchProcess, 7);
  EXPECT_EQ(kExitSeveralProcesses, 8);
  EXPECT_EQ(kExitProcessIs64Bit, 9);
  EXPECT_EQ(kExitKeepRunningFailed, 10);
}

}  // namespace
