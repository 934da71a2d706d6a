#include "app/report_name.h"

#include <stdio.h>

std::string ReportTimeStamp(const SYSTEMTIME& time) {
  char stamp[64];
  snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d", time.wYear, time.wMonth, time.wDay, time.wHour,
           time.wMinute);
  return stamp;
}

std::string DefaultReportName(const std::string& caption, const SYSTEMTIME& time, const std::string& directory) {
  std::string name;
  const size_t dot = caption.rfind('.');
  if (dot != std::string::npos) name = caption.substr(0, dot) + ReportTimeStamp(time) + ".TXT";
  return directory + "\\" + name;
}

std::string ReportDirectory() {
  char buffer[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH) return ".";
  return std::string(buffer, length);
}
