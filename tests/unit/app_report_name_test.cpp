#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/report_name.h"
#include "sim/sim.h"

namespace {

SYSTEMTIME July4th() {
  SYSTEMTIME time{};
  time.wYear = 2001;
  time.wMonth = 7;
  time.wDay = 4;
  time.wHour = 9;
  time.wMinute = 5;
  time.wSecond = 59;
  return time;
}

TEST(ReportName, ProgramTimeStampAndExtensionInTheDirectory) {
  EXPECT_EQ(DefaultReportName(L"notepad.exe", 1234, July4th(), L"C:\\Work"), L"C:\\Work\\notepad-20010704-090559-1234.TXT");
}

TEST(ReportName, RootDirectoryGivesTwoBackslashes) {
  EXPECT_EQ(DefaultReportName(L"notepad.exe", 1234, July4th(), L"C:\\"), L"C:\\\\notepad-20010704-090559-1234.TXT");
}

TEST(ReportName, OnlyTheLastDotGoes) {
  EXPECT_EQ(DefaultReportName(L"my.app.exe", 1234, July4th(), L"C:\\Work"), L"C:\\Work\\my.app-20010704-090559-1234.TXT");
}

TEST(ReportName, CaptionThatIsOnlyAnExtension) {
  EXPECT_EQ(DefaultReportName(L".exe", 1234, July4th(), L"C:\\Work"), L"C:\\Work\\-20010704-090559-1234.TXT");
}

TEST(ReportName, CaptionWithoutDotGivesTheDirectoryAlone) {
  EXPECT_EQ(DefaultReportName(L"notepad", 1234, July4th(), L"C:\\Work"), L"C:\\Work\\");
}

TEST(ReportName, TimeStampIsZeroPaddedToTheSecond) {
  SYSTEMTIME time{};
  time.wYear = 987;
  time.wMonth = 12;
  time.wDay = 31;
  time.wHour = 23;
  time.wMinute = 59;
  time.wSecond = 3;
  EXPECT_EQ(ReportTimeStamp(time), L"-09871231-235903");
  EXPECT_EQ(ReportTimeStamp(July4th()), L"-20010704-090559");
}

TEST(ReportName, DirectoryIsTheCurrentOne) {
  sim::Reset();
  sim::target().currentDirectory = "D:\\Reports";
  EXPECT_EQ(ReportDirectory(), L"D:\\Reports");
  EXPECT_EQ(DefaultReportName(L"calc.exe", 1234, July4th(), ReportDirectory()), L"D:\\Reports\\calc-20010704-090559-1234.TXT");
}

TEST(ReportName, DirectoryTooLongForTheBufferIsTheRelativeDot) {
  sim::Reset();
  sim::target().currentDirectory = "C:\\" + std::string(300, 'd');
  EXPECT_EQ(ReportDirectory(), L".");
  EXPECT_EQ(DefaultReportName(L"calc.exe", 1234, July4th(), ReportDirectory()), L".\\calc-20010704-090559-1234.TXT");
}

// A Japanese system: the name comes from the wide names of program and folder, so a
// character code page 932 lacks stays in it.
TEST(ReportName, MadeFromTheWideNamesOfProgramAndFolder) {
  sim::Reset();
  sim::target().ansiCodePage = 932;
  sim::target().currentDirectory = "C:\\레포트";
  EXPECT_EQ(DefaultReportName(L"한글.exe", 1234, July4th(), ReportDirectory()), L"C:\\레포트\\한글-20010704-090559-1234.TXT");
  EXPECT_EQ(DefaultReportName(L"ソフト.exe", 1234, July4th(), L"C:\\表示"), L"C:\\表示\\ソフト-20010704-090559-1234.TXT");
}

// Two dumps of one program within a second differ by their process ids; the largest id fits.
TEST(ReportName, ProcessIdTellsTwoDumpsOfOneProgramApart) {
  EXPECT_EQ(DefaultReportName(L"worker.exe", 8, July4th(), L"C:\\W"), L"C:\\W\\worker-20010704-090559-8.TXT");
  EXPECT_EQ(DefaultReportName(L"worker.exe", 4294967295u, July4th(), L"C:\\W"),
            L"C:\\W\\worker-20010704-090559-4294967295.TXT");
}

// The same process twice in a second: the later name is numbered, never the same file.
std::vector<std::wstring> takenNames;
bool Taken(const std::wstring& name) {
  for (const std::wstring& taken : takenNames) {
    if (taken == name) return true;
  }
  return false;
}

TEST(ReportName, ATakenNameIsNumberedBeforeItsExtension) {
  takenNames.clear();
  const std::wstring name = L"C:\\W\\worker-20010704-090559-8.TXT";
  EXPECT_EQ(FreeReportName(name, &Taken), name);
  takenNames = {name};
  EXPECT_EQ(FreeReportName(name, &Taken), L"C:\\W\\worker-20010704-090559-8-2.TXT");
  takenNames.push_back(L"C:\\W\\worker-20010704-090559-8-2.TXT");
  EXPECT_EQ(FreeReportName(name, &Taken), L"C:\\W\\worker-20010704-090559-8-3.TXT");
  // A dot in the folder is no extension.
  takenNames = {L"C:\\a.b\\report"};
  EXPECT_EQ(FreeReportName(L"C:\\a.b\\report", &Taken), L"C:\\a.b\\report-2");
  // All 99 taken: no name at all rather than a taken one.
  takenNames = {L"r.TXT"};
  for (int n = 2; n <= 99; ++n) takenNames.push_back(L"r-" + std::to_wstring(n) + L".TXT");
  EXPECT_EQ(FreeReportName(L"r.TXT", &Taken), L"");
  takenNames.clear();
}

}  // namespace
