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
  EXPECT_EQ(DefaultReportName("notepad.exe", July4th(), "C:\\Work"), "C:\\Work\\notepad-20010704-0905.TXT");
}

TEST(ReportName, RootDirectoryGivesTwoBackslashes) {
  EXPECT_EQ(DefaultReportName("notepad.exe", July4th(), "C:\\"), "C:\\\\notepad-20010704-0905.TXT");
}

TEST(ReportName, OnlyTheLastDotGoes) {
  EXPECT_EQ(DefaultReportName("my.app.exe", July4th(), "C:\\Work"), "C:\\Work\\my.app-20010704-0905.TXT");
}

TEST(ReportName, CaptionThatIsOnlyAnExtension) {
  EXPECT_EQ(DefaultReportName(".exe", July4th(), "C:\\Work"), "C:\\Work\\-20010704-0905.TXT");
}

TEST(ReportName, CaptionWithoutDotGivesTheDirectoryAlone) {
  EXPECT_EQ(DefaultReportName("notepad", July4th(), "C:\\Work"), "C:\\Work\\");
}

TEST(ReportName, TimeStampIsZeroPaddedAndHasNoSeconds) {
  SYSTEMTIME time{};
  time.wYear = 987;
  time.wMonth = 12;
  time.wDay = 31;
  time.wHour = 23;
  time.wMinute = 59;
  time.wSecond = 30;
  EXPECT_EQ(ReportTimeStamp(time), "-09871231-2359");
  EXPECT_EQ(ReportTimeStamp(July4th()), "-20010704-0905");
}

TEST(ReportName, DirectoryIsTheCurrentOne) {
  sim::Reset();
  sim::target().currentDirectory = "D:\\Reports";
  EXPECT_EQ(ReportDirectory(), "D:\\Reports");
  EXPECT_EQ(DefaultReportName("calc.exe", July4th(), ReportDirectory()), "D:\\Reports\\calc-20010704-0905.TXT");
}

TEST(ReportName, DirectoryTooLongForTheBufferIsTheRelativeDot) {
  sim::Reset();
  sim::target().currentDirectory = "C:\\" + std::string(300, 'd');
  EXPECT_EQ(ReportDirectory(), ".");
  EXPECT_EQ(DefaultReportName("calc.exe", July4th(), ReportDirectory()), ".\\calc-20010704-0905.TXT");
}

}  // namespace
