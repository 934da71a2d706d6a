#include "app/report_name.h"

#include <stdio.h>
#include <string.h>

namespace {

constexpr unsigned kMostNumbered = 99;

// Digits and "-": the same text in every code page.
std::wstring Widened(const char* ascii) { return std::wstring(ascii, ascii + strlen(ascii)); }

}  // namespace

std::wstring ReportTimeStamp(const SYSTEMTIME& time) {
  char stamp[64];
  snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d%02d", time.wYear, time.wMonth, time.wDay, time.wHour,
           time.wMinute, time.wSecond);
  return Widened(stamp);
}

std::wstring DefaultReportName(const std::wstring& caption, uint32_t processId, const SYSTEMTIME& time,
                               const std::wstring& directory) {
  std::wstring name;
  const size_t dot = caption.rfind(L'.');
  if (dot != std::wstring::npos) {
    char id[16];
    snprintf(id, sizeof id, "-%u", static_cast<unsigned>(processId));
    name = caption.substr(0, dot) + ReportTimeStamp(time) + Widened(id) + L".TXT";
  }
  return directory + L"\\" + name;
}

std::wstring FreeReportName(const std::wstring& name, bool (*exists)(const std::wstring& name)) {
  if (!exists(name)) return name;
  const size_t folder = name.find_last_of(L"\\/");
  const size_t fileStart = folder == std::wstring::npos ? 0 : folder + 1;
  size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos || dot < fileStart) dot = name.size();
  for (unsigned n = 2; n <= kMostNumbered; ++n) {
    char number[8];
    snprintf(number, sizeof number, "-%u", n);
    const std::wstring numbered = name.substr(0, dot) + Widened(number) + name.substr(dot);
    if (!exists(numbered)) return numbered;
  }
  return std::wstring();
}

std::wstring ReportDirectory() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
  if (length == 0 || length >= MAX_PATH) return L".";
  return std::wstring(buffer, length);
}
