// A Japanese system: paths in code page 932, whose double-byte characters may end in the
// byte of "\" (ソ is 83 5C, 表 is 95 5C), and names the code page cannot hold at all.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <set>

#include "app/process_list.h"
#include "report/memory_dump.h"
#include "session/ansi_text.h"
#include "test_support.h"

namespace {

constexpr UINT kJapanese = 932;

// Every name in a folder.
std::set<std::string> FolderNames(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* folder = opendir(dir.c_str())) {
    while (const dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    closedir(folder);
  }
  return names;
}

struct PathCase {
  const char* path;      // UTF-8; the test looks at it in code page 932
  const char* fileName;  // what follows the last "\"
};

class FileNamePartIn932 : public ::testing::TestWithParam<PathCase> {};

TEST_P(FileNamePartIn932, SplitsAtTheLastBackslashCharacter) {
  sim::Reset();
  sim::target().ansiCodePage = kJapanese;
  const std::string path = sim::AnsiText(GetParam().path);
  EXPECT_EQ(FileNamePart(path.c_str()), sim::AnsiText(GetParam().fileName));
  EXPECT_EQ(FileNamePart(sim::WideText(GetParam().path).c_str()), sim::WideText(GetParam().fileName));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FileNamePartIn932,
    ::testing::Values(PathCase{"C:\\x\\ソフト.exe", "ソフト.exe"},     // 83 5C 83 74 83 67
                      PathCase{"C:\\表\\表示.exe", "表示.exe"},        // 95 5C in the folder and the name
                      PathCase{"C:\\能力\\十予.exe", "十予.exe"},      // 94 5C, 8F 5C, 97 5C
                      PathCase{"ソフト.exe", "ソフト.exe"},            // no backslash: the whole path
                      PathCase{"C:\\ｿﾌﾄ\\a.exe", "a.exe"},             // half-width kana are single bytes
                      PathCase{"C:\\x\\", ""},                          // ends in the backslash
                      PathCase{"\\\\server\\share\\p.exe", "p.exe"}));  // plain ASCII

TEST(FileNamePart, AByteSplitWouldCutInsideACharacter) {
  sim::Reset();
  sim::target().ansiCodePage = kJapanese;
  const std::string path = sim::AnsiText("C:\\x\\ソフト.exe");
  ASSERT_EQ(path.substr(5, 2), "\x83\x5C");  // what a search for the byte finds last
  EXPECT_EQ(LastBackslash(path.c_str()), path.c_str() + 4);
}

TEST(FileNamePart, ALeadByteAtTheEndStopsTheWalk) {
  sim::Reset();
  sim::target().ansiCodePage = kJapanese;
  const char path[] = "C:\\a\\\x83";
  EXPECT_STREQ(FileNamePart(path), "\x83");
}

TEST(FileNamePart, TheDefaultCodePageSplitsEveryByte) {
  sim::Reset();
  // UTF-8 text never holds the byte of "\" inside a character.
  EXPECT_STREQ(FileNamePart("C:\\x\\ソフト.exe"), "ソフト.exe");
}

TEST(AnsiForDisplay, ACharacterTheCodePageLacksIsAQuestionMark) {
  sim::Reset();
  sim::target().ansiCodePage = kJapanese;
  EXPECT_EQ(AnsiForDisplay(L"レポート_é한.txt"), sim::AnsiText("レポート_") + "??.txt");
  EXPECT_EQ(WideFromAnsi(sim::AnsiText("表示\\ソフト.exe")), L"表示\\ソフト.exe");
}

// The process page.

sim::Process Listed(DWORD id, const std::string& path) {
  sim::Process process;
  process.id = id;
  process.path = path;
  process.workingSet = 8192;
  return process;
}

TEST(ProcessListIn932, CaptionAndShownNameOfAShiftJisProgram) {
  sim::Reset();
  sim::target().ansiCodePage = kJapanese;
  sim::target().processes.push_back(Listed(40, "C:\\x\\ソフト.exe"));
  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].caption, sim::AnsiText("ソフト.exe"));
  EXPECT_EQ(rows[0].programName, L"ソフト.exe");
}

TEST(ProcessListIn932, AProgramNameOutsideTheCodePageIsShownWhole) {
  sim::Reset();
  sim::target().ansiCodePage = kJapanese;
  sim::target().processes = {Listed(40, "C:\\x\\한글.exe"), Listed(44, "C:\\x\\notepad.exe")};
  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows));
  ASSERT_EQ(rows.size(), 2u);
  // The order is that of the ANSI captions.
  EXPECT_EQ(rows[0].caption, "??.exe");
  EXPECT_EQ(rows[0].programName, L"한글.exe");
  EXPECT_EQ(rows[1].programName, L"notepad.exe");
}

// The session: report and region files by their wide names.

TEST(ReportFileIn932, CreatedUnderExactlyTheNameGiven) {
  sim::Reset();
  sim::target().ansiCodePage = kJapanese;
  const std::string dir = ScratchDir();
  const std::string name = "レポート_é.txt";
  LineRecorder log;
  {
    CLogFile session(sim::WideText(dir + "/" + name).c_str(), log.pane);
    ASSERT_NE(session.reportFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(session.reportPath, sim::AnsiText(dir + "/レポート_") + "?.txt");
    session.process = sim::target().processHandle;
    sim::AddRegion(0x00400000, 4096, PAGE_READONLY, MEM_IMAGE);
    DumpCommittedMemory(session);
  }
  EXPECT_EQ(log.lines, std::vector<std::string>{"*----> Commited Memory (0x00400000-    4096) r-- I <----*"});
  EXPECT_EQ(FolderNames(dir), (std::set<std::string>{name, name + ".00400000.bin"}));
  EXPECT_EQ(sim::Calls("CreateFileA"), 0);
}

TEST(ReportFileIn932, FailureLinesShowTheNameInTheCodePage) {
  sim::Reset();
  sim::target().ansiCodePage = kJapanese;
  const std::string dir = ScratchDir();
  LineRecorder log;
  CLogFile session(sim::WideText(dir + "/none/한.txt").c_str(), log.pane);
  EXPECT_EQ(session.reportFile, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(session.symbols.enabled());
  EXPECT_EQ(log.lines, std::vector<std::string>{"File:" + dir + "/none/?.txt creation failed (3)"});
  EXPECT_TRUE(FolderNames(dir).empty());
}

TEST(ReportFileIn932, ARegionFileThatCannotBeMadeIsNamedInItsLine) {
  sim::Reset();
  sim::target().ansiCodePage = kJapanese;
  const std::string dir = ScratchDir();
  LineRecorder log;
  CLogFile session(sim::WideText(dir + "/表.txt").c_str(), log.pane);
  ASSERT_NE(session.reportFile, INVALID_HANDLE_VALUE);
  mkdir((dir + "/表.txt.0000A000.bin").c_str(), 0700);  // a folder where the file should go
  EXPECT_EQ(session.CreateRegionFile(0xA000), INVALID_HANDLE_VALUE);
  EXPECT_EQ(log.lines, std::vector<std::string>{"Dumpfile(" + sim::AnsiText(dir + "/表.txt") + ".0000A000.bin) Failed 5"});
}

TEST(ReportFileIn932, TheNameLimitCountsCharactersNotBytes) {
  sim::Reset();
  sim::target().ansiCodePage = kJapanese;
  for (size_t length : {246u, 247u}) {
    // In code page 932 these characters take twice as many bytes.
    std::wstring name = L"/none/";
    while (name.size() < length) name += L"表";
    LineRecorder log;
    CLogFile session(name.c_str(), log.pane, ReportCreation::kAfterAttach);
    EXPECT_EQ(session.CheckRegionFileNames(), length == 246);
    EXPECT_EQ(log.lines.size(), length == 246 ? 0u : 1u);
  }
}

// The symbol search path: the main module's folder, cut at a real backslash.

TEST(TablesIn932, SearchPathKeepsTheWholeFolderName) {
  SessionFixture f;
  sim::target().ansiCodePage = kJapanese;
  sim::target().symbolsActive = false;
  sim::target().mainModulePath = "C:\\x\\表\\ソフト.exe";
  sim::AddModule("C:\\x\\表\\ソフト.exe", 0x00400000, 0x10000);
  sim::AddThread(0x24);
  sim::ScriptAttachEvents();
  f.session->options.symbolTableEnabled = false;
  f.session->options.memoryDumpEnabled = false;
  EXPECT_TRUE(f.session->RunDebugLoop(1234));
  EXPECT_EQ(sim::target().symbolSearchPath, sim::AnsiText("C:\\x\\表;"));
  EXPECT_EQ(f.session->targetPath, sim::AnsiText("C:\\x\\表\\ソフト.exe"));
  const std::string report = f.Report();
  EXPECT_EQ(report.substr(0, report.find(" (pid=")), sim::AnsiText("C:\\x\\表\\ソフト.exe"));
}

}  // namespace
