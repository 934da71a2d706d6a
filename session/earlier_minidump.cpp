// REPORT.dmp of an earlier dump beside the report.
#include "session/ansi_text.h"
#include "session/log_file.h"
#include "session/minidump_kind.h"

bool CLogFile::RemoveEarlierMinidump() {
  if (reportPathW.empty()) return true;  // no report name, so no minidump of one either
  const std::wstring name = MinidumpFileNameOf(reportPathW);
  if (DeleteFileW(name.c_str())) {
    Log("Removed the minidump of an earlier dump beside %s", reportPath.c_str());
    return true;
  }
  const DWORD error = GetLastError();
  // None there (or gone meanwhile): nothing is left beside the report.
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
  Log("Dump refused: minidump %s of an earlier dump cannot be removed (e=%d)", AnsiForDisplay(name).c_str(),
      static_cast<int>(error));
  reportRefused = true;
  return false;
}
