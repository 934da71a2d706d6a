#include "app/report_name.h"

#include <stdio.h>
#include <string.h>

std::wstring ReportTimeStamp(const SYSTEMTIME& time) {
  char stamp[64];
  snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d", time.wYear, time.wMonth, time.wDay, time.wHour,
           time.wMinute);
  return std::wstring(stamp, stamp + strlen(stamp));  // digits and "-": the same in every code page
}

std::wstring DefaultReportName(const std::wstring& caption, const SYSTEMTIME& time, const std::wstring& directory) {
  std::wstring name;
  const size_t dot = caption.rfind(L'.');
  if (dot != std::wstring::npos) name = caption.substr(0, dot) + ReportTimeStamp(time) + L".TXT";
  return directory + L"\\" + name;
}

std::wstring ReportDirectory() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH) return L".";
  return std::wstring(buffer, length);
}
