#include <gtest/gtest.h>

#include "app/process_list.h"
#include "sim/sim.h"

namespace {

sim::Process Listed(DWORD id, const std::string& path, SIZE_T workingSet = 4096) {
  sim::Process process;
  process.id = id;
  process.path = path;
  process.workingSet = workingSet;
  return process;
}

std::vector<std::string> Captions(const std::vector<ProcessRow>& rows) {
  std::vector<std::string> captions;
  for (const ProcessRow& row : rows) captions.push_back(row.caption);
  return captions;
}

void ListProcesses(int count) {
  for (int i = 0; i < count; ++i) {
    sim::target().processes.push_back(Listed(100 + 4 * i, "C:\\bin\\p" + std::to_string(1000 + i) + ".exe"));
  }
}

TEST(ProcessList, FewerThan64IdsTakeOneEnumeration) {
  sim::Reset();
  ListProcesses(63);
  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows));
  EXPECT_EQ(sim::Calls("EnumProcesses"), 1);
  EXPECT_EQ(rows.size(), 63u);
}

TEST(ProcessList, Exactly64IdsAreRetriedWithRoomFor72) {
  sim::Reset();
  ListProcesses(64);
  std::vector<uint32_t> ids;
  ASSERT_TRUE(EnumerateProcessIds(ids));
  EXPECT_EQ(sim::Calls("EnumProcesses"), 2);
  ASSERT_EQ(ids.size(), 64u);
  EXPECT_EQ(ids.front(), 100u);
  EXPECT_EQ(ids.back(), 100u + 4 * 63);

  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows));
  EXPECT_EQ(rows.size(), 64u);
}

TEST(ProcessList, TheArrayGrowsByEightPerRetry) {
  sim::Reset();
  ListProcesses(71);  // 64 full, 72 not
  std::vector<uint32_t> ids;
  ASSERT_TRUE(EnumerateProcessIds(ids));
  EXPECT_EQ(sim::Calls("EnumProcesses"), 2);
  EXPECT_EQ(ids.size(), 71u);

  sim::Reset();
  ListProcesses(72);  // 64 and 72 full, 80 not
  ASSERT_TRUE(EnumerateProcessIds(ids));
  EXPECT_EQ(sim::Calls("EnumProcesses"), 3);
  EXPECT_EQ(ids.size(), 72u);
}

TEST(ProcessList, RowTexts) {
  sim::Reset();
  sim::target().processes.push_back(Listed(1234, "C:\\WINDOWS\\system32\\notepad.exe", 2048 * 1024 + 512));
  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].caption, "notepad.exe");
  EXPECT_EQ(rows[0].pidText, "1234");
  EXPECT_EQ(rows[0].memoryText, "2048 KB");
}

TEST(ProcessList, WorkingSetInWholeKibibytes) {
  sim::Reset();
  sim::target().processes.push_back(Listed(8, "C:\\a.exe", 1023));
  sim::target().processes.push_back(Listed(12, "C:\\b.exe", 1024 * 1024));
  sim::target().processes.push_back(Listed(16, "C:\\c.exe", 1024));
  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].memoryText, "0 KB");
  EXPECT_EQ(rows[1].memoryText, "1024 KB");
  EXPECT_EQ(rows[2].memoryText, "1 KB");
}

TEST(ProcessList, UnreadableWorkingSetLeavesTheColumnEmpty) {
  sim::Reset();
  sim::Process process = Listed(20, "C:\\tools\\quiet.exe");
  process.memoryInfo = false;
  sim::target().processes.push_back(process);
  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].caption, "quiet.exe");
  EXPECT_EQ(rows[0].memoryText, "");
}

TEST(ProcessList, UnopenableProcessesAndUnnamedModulesGetNoRow) {
  sim::Reset();
  sim::Process idle = Listed(0, "");
  idle.openable = false;
  sim::Process system = Listed(4, "C:\\WINDOWS\\system32\\ntoskrnl.exe");
  system.openable = false;
  sim::Process noModules = Listed(8, "C:\\hidden.exe");
  noModules.modulesListable = false;
  sim::Process unnamed = Listed(12, "");
  sim::target().processes = {idle, system, noModules, unnamed, Listed(16, "C:\\shown.exe")};

  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows));
  EXPECT_EQ(Captions(rows), std::vector<std::string>{"shown.exe"});
  EXPECT_EQ(sim::Calls("OpenProcess"), 5);
  // Every handle that was opened is closed again, skipped or not.
  EXPECT_EQ(sim::Calls("CloseHandle"), 3);
  EXPECT_EQ(sim::Calls("GetProcessMemoryInfo"), 1);
}

TEST(ProcessList, PathWithoutBackslashIsTheWholeCaption) {
  sim::Reset();
  sim::target().processes.push_back(Listed(40, "smss.exe"));
  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].caption, "smss.exe");
}

TEST(ProcessList, LongPathIsCutTo258Characters) {
  sim::Reset();
  const std::string path = "C:\\" + std::string(250, 'x') + "\\" + std::string(40, 'y') + ".exe";
  sim::target().processes.push_back(Listed(44, path));
  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].caption, std::string(258 - 254, 'y'));
}

TEST(ProcessList, RowsFollowTheCaptionOrderNotTheIds) {
  sim::Reset();
  sim::target().processes = {Listed(900, "C:\\w\\winlogon.exe"), Listed(12, "C:\\w\\Explorer.EXE"),
                             Listed(300, "C:\\w\\csrss.exe"),    Listed(48, "C:\\w\\explorer.exe"),
                             Listed(7, "C:\\w\\_setup.exe"),     Listed(64, "C:\\w\\csrss.exe")};
  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows));
  EXPECT_EQ(Captions(rows), (std::vector<std::string>{"_setup.exe", "csrss.exe", "csrss.exe", "explorer.exe",
                                                      "Explorer.EXE", "winlogon.exe"}));
  for (size_t i = 1; i < rows.size(); ++i) {
    EXPECT_LE(lstrcmpA(rows[i - 1].caption.c_str(), rows[i].caption.c_str()), 0) << i;
  }
  // Equal captions are told apart by their PID texts.
  EXPECT_EQ(rows[1].pidText, "300");
  EXPECT_EQ(rows[2].pidText, "64");
}

TEST(ProcessList, NoProcessesGiveAnEmptyList) {
  sim::Reset();
  std::vector<ProcessRow> rows = {ProcessRow{"old.exe", "1", "1 KB"}};
  ASSERT_TRUE(CollectProcessRows(rows));
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(sim::Calls("EnumProcesses"), 1);
}

// On 64-bit Windows a 64-bit process's modules are out of the tool's reach; it is still
// named (from its image), marked, and listed where asked for.
TEST(ProcessList, SixtyFourBitProcessesAreMarkedAndListedOnRequest) {
  sim::Reset();
  sim::target().wow64 = true;
  sim::target().processes.push_back(Listed(8, "C:\\Windows\\System32\\svchost.exe", 8192));
  sim::target().processes.back().is64Bit = true;
  sim::target().processes.push_back(Listed(12, "C:\\app\\worker.exe"));
  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows));
  EXPECT_EQ(Captions(rows), (std::vector<std::string>{"worker.exe"}));
  ASSERT_TRUE(CollectProcessRows(rows, true));
  ASSERT_EQ(Captions(rows), (std::vector<std::string>{"svchost.exe", "worker.exe"}));
  EXPECT_TRUE(rows[0].is64Bit);
  EXPECT_EQ(rows[0].programName, L"svchost.exe");
  EXPECT_EQ(rows[0].pidText, "8");
  EXPECT_EQ(rows[0].memoryText, "8 KB");
  EXPECT_FALSE(rows[1].is64Bit);
}

// The wizard lists 64-bit processes as the companion does, marked; their refusal names the
// program and its id.
TEST(ProcessList, SixtyFourBitRowsAreMarkedInTheWizardsList) {
  sim::Reset();
  sim::target().wow64 = true;
  sim::target().processes.push_back(Listed(8, "C:\\Windows\\System32\\svchost.exe"));
  sim::target().processes.back().is64Bit = true;
  sim::target().processes.push_back(Listed(12, "C:\\app\\worker.exe"));
  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows, true));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(ListedName(rows[0]), L"svchost.exe (64 ビット)");
  EXPECT_EQ(ListedName(rows[1]), L"worker.exe");
  EXPECT_EQ(ProgramNameOfListed(ListedName(rows[0])), L"svchost.exe");
  EXPECT_EQ(ProgramNameOfListed(L"a (b).exe"), L"a (b).exe");
  EXPECT_EQ(ProgramNameOfListed(L" (64 ビット)"), L"");
  EXPECT_EQ(SixtyFourBitRefusal(L"svchost.exe", L"8"),
            L"svchost.exe (PID 8) は 64 ビットのプロセスです。ダンプを取得できるのは 32 ビットのプロセスだけです。"
            L"32 ビットのプロセスを選択してください。");
}

TEST(ProcessList, ProbeTellsBitnessAndWhetherTheProcessExists) {
  sim::Reset();
  sim::target().wow64 = true;
  sim::target().processes.push_back(Listed(8, "C:\\Windows\\System32\\svchost.exe"));
  sim::target().processes.back().is64Bit = true;
  sim::target().processes.push_back(Listed(12, "C:\\app\\worker.exe"));
  sim::target().processes.push_back(Listed(16, "C:\\app\\guarded.exe"));
  sim::target().processes.back().openable = false;
  EXPECT_EQ(ProbeProcess(8), ProcessKind::k64Bit);
  EXPECT_EQ(ProbeProcess(12), ProcessKind::k32Bit);
  EXPECT_EQ(ProbeProcess(16), ProcessKind::kNotOpened);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ProbeProcess(20), ProcessKind::kNoSuchProcess);
  // On 32-bit Windows there is no 64-bit process.
  sim::target().wow64 = false;
  EXPECT_EQ(ProbeProcess(12), ProcessKind::k32Bit);
}

// The caption is the wide name narrowed without best fit: a character the code page lacks
// is "?", never a look-alike; under a UTF-8 code page every character stays.
TEST(ProcessList, CaptionIsNarrowedWithoutBestFitAndWorksUnderUtf8) {
  sim::Reset();
  sim::target().processes.push_back(Listed(8, "C:\\app\\\xc3\xa9t\xc3\xa9.exe"));  // été.exe
  sim::target().ansiCodePage = 932;
  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].caption, "?t?.exe");
  EXPECT_EQ(rows[0].programName, L"\u00e9t\u00e9.exe");
  sim::target().ansiCodePage = CP_UTF8;
  ASSERT_TRUE(CollectProcessRows(rows));
  EXPECT_EQ(rows[0].caption, "\xc3\xa9t\xc3\xa9.exe");
}

}  // namespace
