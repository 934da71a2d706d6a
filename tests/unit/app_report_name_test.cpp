#include <gtest/gtest.h>

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
  EXPECT_EQ(DefaultReportName(L"notepad.exe", July4th(), L"C:\\Work"), L"C:\\Work\\notepad-20010704-0905.TXT");
}

TEST(ReportName, RootDirectoryGivesTwoBackslashes) {
  EXPECT_EQ(DefaultReportName(L"notepad.exe", July4th(), L"C:\\"), L"C:\\\\notepad-20010704-0905.TXT");
}

TEST(ReportName, OnlyTheLastDotGoes) {
  EXPECT_EQ(DefaultReportName(L"my.app.exe", July4th(), L"C:\\Work"), L"C:\\Work\\my.app-20010704-0905.TXT");
}

TEST(ReportName, CaptionThatIsOnlyAnExtension) {
  EXPECT_EQ(DefaultReportName(L".exe", July4th(), L"C:\\Work"), L"C:\\Work\\-20010704-0905.TXT");
}

TEST(ReportName, CaptionWithoutDotGivesTheDirectoryAlone) {
  EXPECT_EQ(DefaultReportName(L"notepad", July4th(), L"C:\\Work"), L"C:\\Work\\");
}

TEST(ReportName, TimeStampIsZeroPaddedAndHasNoSeconds) {
  SYSTEMTIME time{};
  time.wYear = 987;
  time.wMonth = 12;
  time.wDay = 31;
  time.wHour = 23;
  time.wMinute = 59;
  time.wSecond = 30;
  EXPECT_EQ(ReportTimeStamp(time), L"-09871231-2359");
  EXPECT_EQ(ReportTimeStamp(July4th()), L"-20010704-0905");
}

TEST(ReportName, DirectoryIsTheCurrentOne) {
  sim::Reset();
  sim::target().currentDirectory = "D:\\Reports";
  EXPECT_EQ(ReportDirectory(), L"D:\\Reports");
  EXPECT_EQ(DefaultReportName(L"calc.exe", July4th(), ReportDirectory()), L"D:\\Reports\\calc-20010704-0905.TXT");
}

TEST(ReportName, DirectoryTooLongForTheBufferIsTheRelativeDot) {
  sim::Reset();
  sim::target().currentDirectory = "C:\\" + std::string(300, 'd');
  EXPECT_EQ(ReportDirectory(), L".");
  EXPECT_EQ(DefaultReportName(L"calc.exe", July4th(), ReportDirectory()), L".\\calc-20010704-0905.TXT");
}

// A Japanese system: the name comes from the wide names of program and folder, so a
// character code page 932 lacks stays in it.
TEST(ReportName, MadeFromTheWideNamesOfProgramAndFolder) {
  sim::Reset();
  sim::target().ansiCodePage = 932;
  sim::target().currentDirectory = "C:\\레포트";
  EXPECT_EQ(DefaultReportName(L"한글.exe", July4th(), ReportDirectory()), L"C:\\레포트\\한글-20010704-0905.TXT");
  EXPECT_EQ(DefaultReportName(L"ソフト.exe", July4th(), L"C:\\表示"), L"C:\\表示\\ソフト-20010704-0905.TXT");
}

}  // namespace
