// The files of the committed regions, named after the report: "%s.%08X.bin".
#include <stdio.h>

#include <vector>

#include "session/ansi_text.h"
#include "session/log_file.h"

namespace {

constexpr size_t kPathLimit = MAX_PATH - 1;  // characters of a full path, without the terminating zero
constexpr size_t kFileNameSuffix = 13;       // ".%08X.bin"
constexpr wchar_t kSuffixPattern[] = L".????????.bin";

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f'); }

// The folder part of a path, with its last separator; empty for a bare file name.
std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// A region file's name beside a report of the file name report: the report's name, a dot,
// eight hexadecimal digits and ".bin", compared as the file system does, case ignored.
bool IsRegionFileOf(const std::wstring& name, const std::wstring& report) {
  if (name.size() != report.size() + kFileNameSuffix) return false;
  for (size_t i = 0; i < report.size(); ++i) {
    wchar_t a = name[i], b = report[i];
    if (a < 0x80 && b < 0x80) {
      if (a >= L'A' && a <= L'Z') a = static_cast<wchar_t>(a + 0x20);
      if (b >= L'A' && b <= L'Z') b = static_cast<wchar_t>(b + 0x20);
    }
    if (a != b) return false;
  }
  const wchar_t* tail = name.c_str() + report.size();
  if (tail[0] != L'.' || tail[9] != L'.') return false;
  for (int i = 1; i <= 8; ++i) {
    if (!IsHexDigit(tail[i])) return false;
  }
  return (tail[10] | 0x20) == L'b' && (tail[11] | 0x20) == L'i' && (tail[12] | 0x20) == L'n';
}

}  // namespace

bool CLogFile::CheckRegionFileNames() {
  if (!options.memoryDumpEnabled) return true;
  // The limit holds for the name the system resolves, not for the name as given: a short
  // relative name in a deep folder is too long all the same.
  std::vector<wchar_t> full(MAX_PATH);
  DWORD length = GetFullPathNameW(reportPathW.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length >= full.size()) {
    full.resize(length + 1);
    length = GetFullPathNameW(reportPathW.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (length == 0) {
    // No file can have a name without a full path (an empty name, say).
    Log("File:%s creation failed (%d)", reportPath.c_str(), static_cast<int>(GetLastError()));
    reportRefused = true;
    return false;
  }
  if (length + kFileNameSuffix > kPathLimit) {
    Log("File:%s refused: the full paths of its region files would be %u characters long, more than %u",
        reportPath.c_str(), static_cast<unsigned>(length + kFileNameSuffix), static_cast<unsigned>(kPathLimit));
    reportRefused = true;
    return false;
  }
  return true;
}

bool CLogFile::RemoveEarlierRegionFiles() {
  const std::wstring folder = FolderOf(reportPathW);
  const std::wstring reportName = reportPathW.substr(folder.size());
  if (reportName.empty()) return true;  // no report name, so no region file of one either
  const std::wstring pattern = reportPathW + kSuffixPattern;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return true;
  std::vector<std::wstring> stale;
  do {
    if (IsRegionFileOf(found.cFileName, reportName)) stale.push_back(folder + found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);

  uint32_t removed = 0;
  for (const std::wstring& name : stale) {
    if (!DeleteFileW(name.c_str())) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND) continue;  // gone meanwhile: nothing is left beside the report
      Log("Dump refused: region file %s of an earlier dump cannot be removed (e=%d)",
          AnsiForDisplay(name).c_str(), static_cast<int>(error));
      reportRefused = true;
      return false;
    }
    ++removed;
  }
  if (removed > 0) {
    Log("Removed %u region files of an earlier dump beside %s", static_cast<unsigned>(removed), reportPath.c_str());
  }
  return true;
}

HANDLE CReportOutput::CreateRegionFile(uint32_t base) {
  // The report's lines so far reach the disk before the region's bytes, as they were
  // printed: on a disk that fills up, what is lost is the same.
  FlushReportText();
  char suffix[kFileNameSuffix + 1];
  snprintf(suffix, sizeof suffix, ".%08X.bin", base);
  // The suffix is ASCII, so it is the same text in either form.
  std::wstring name = reportPathW;
  name.append(suffix, suffix + kFileNameSuffix);
  HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    Log("Dumpfile(%s%s) Failed %d", reportPath.c_str(), suffix, static_cast<int>(error));
    NoteFailedWrite();
  }
  return file;
}
