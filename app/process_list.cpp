#include "app/process_list.h"

#include <algorithm>

#include "session/ansi_text.h"
#include "session/platform.h"

namespace {

constexpr uint32_t kInitialIdCapacity = 64;
constexpr uint32_t kIdCapacityStep = 8;
constexpr DWORD kQueryAndRead = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;  // 0x0410
constexpr DWORD kPathLimit = MAX_PATH - 1;                                    // 259 with the zero

}  // namespace

bool EnumerateProcessIds(std::vector<uint32_t>& ids) {
  for (uint32_t capacity = kInitialIdCapacity;; capacity += kIdCapacityStep) {
    std::vector<DWORD> buffer(capacity);  // a fresh array for every attempt
    DWORD bytesReturned = 0;
    if (!EnumProcesses(buffer.data(), capacity * sizeof(DWORD), &bytesReturned)) return false;
    const uint32_t count = bytesReturned / sizeof(DWORD);
    if (count < capacity) {
      ids.assign(buffer.begin(), buffer.begin() + count);
      return true;
    }
  }
}

namespace {

// True when the process runs as 64-bit code: the tool itself runs under WOW64 (so the
// system is 64-bit) and the process does not.
bool Is64Bit(HANDLE process) {
  BOOL selfWow64 = FALSE;
  BOOL targetWow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &selfWow64) || !selfWow64) return false;
  return IsWow64Process(process, &targetWow64) && !targetWow64;
}

// Closes the handle and keeps the error of the step that failed, for the caller to read.
bool FailRow(HANDLE process) {
  const DWORD error = GetLastError();
  CloseHandle(process);
  SetLastError(error);
  return false;
}

}  // namespace

ProcessKind ProbeProcess(uint32_t processId) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
  if (process == nullptr) {
    // The system answers an id that names no process with an invalid parameter.
    return GetLastError() == ERROR_INVALID_PARAMETER ? ProcessKind::kNoSuchProcess : ProcessKind::kNotOpened;
  }
  const bool wide = Is64Bit(process);
  CloseHandle(process);
  return wide ? ProcessKind::k64Bit : ProcessKind::k32Bit;
}

bool ReadProcessRow(uint32_t processId, ProcessRow& row) {
  HANDLE process = OpenProcess(kQueryAndRead, FALSE, processId);
  if (process == nullptr) return false;

  row.is64Bit = Is64Bit(process);
  wchar_t widePath[MAX_PATH];
  if (row.is64Bit) {
    // Its modules are out of a 32-bit process's reach; its image name is not. The device
    // form of the path ends with the same file name.
    if (GetProcessImageFileNameW(process, widePath, kPathLimit) == 0) return FailRow(process);
    widePath[kPathLimit] = L'\0';
    row.programName = FileNamePart(widePath);
    row.caption = AnsiForDisplay(row.programName);
  } else {
    HMODULE firstModule = nullptr;
    DWORD bytesNeeded = 0;
    if (!EnumProcessModules(process, &firstModule, sizeof firstModule, &bytesNeeded)) return FailRow(process);
    // The wide name is the true one: the ANSI name of a program whose name the code page
    // cannot hold is "?"s, which names no file, or a best-fit look-alike, which names another.
    // The caption is narrowed from it without best fit, for sorting and display only.
    if (GetModuleFileNameExW(process, firstModule, widePath, kPathLimit) != 0) {
      widePath[kPathLimit] = L'\0';
      row.programName = FileNamePart(widePath);
      row.caption = AnsiForDisplay(row.programName);
    } else {
      char path[MAX_PATH];
      if (GetModuleFileNameExA(process, firstModule, path, kPathLimit) == 0) return FailRow(process);
      path[kPathLimit] = '\0';
      row.caption = FileNamePart(path);
      row.programName = WideFromAnsi(row.caption);
    }
  }

  char text[32];
  wsprintfA(text, "%d", static_cast<int>(processId));
  row.pidText = text;

  PROCESS_MEMORY_COUNTERS counters{};
#ifdef _WIN32
  static_assert(sizeof(PROCESS_MEMORY_COUNTERS) == 40, "the i386 record");
#endif
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(process, &counters, sizeof counters)) {
    wsprintfA(text, "%d KB", static_cast<int>(counters.WorkingSetSize >> 10));
    row.memoryText = text;
  } else {
    row.memoryText.clear();
  }
  CloseHandle(process);
  return true;
}

void SortRowsByCaption(std::vector<ProcessRow>& rows) {
  std::stable_sort(rows.begin(), rows.end(), [](const ProcessRow& a, const ProcessRow& b) {
    return lstrcmpA(a.caption.c_str(), b.caption.c_str()) < 0;
  });
}

bool CollectProcessRows(std::vector<ProcessRow>& rows, bool with64Bit) {
  std::vector<uint32_t> ids;
  if (!EnumerateProcessIds(ids)) return false;
  rows.clear();
  for (uint32_t id : ids) {
    ProcessRow row;
    if (ReadProcessRow(id, row) && (with64Bit || !row.is64Bit)) rows.push_back(row);
  }
  SortRowsByCaption(rows);
  return true;
}

namespace {

const wchar_t kSixtyFourBitMark[] = L" (64 ビット)";

}  // namespace

std::wstring ListedName(const ProcessRow& row) {
  return row.is64Bit ? row.programName + kSixtyFourBitMark : row.programName;
}

std::wstring ProgramNameOfListed(const std::wstring& listed) {
  const std::wstring mark = kSixtyFourBitMark;
  const bool marked = listed.size() >= mark.size() && listed.compare(listed.size() - mark.size(), mark.size(), mark) == 0;
  return marked ? listed.substr(0, listed.size() - mark.size()) : listed;
}

std::wstring SixtyFourBitRefusal(const std::wstring& programName, const std::wstring& pidText) {
  return programName + L" (PID " + pidText +
         L") は 64 ビットのプロセスです。ダンプを取得できるのは 32 ビットのプロセスだけです。"
         L"32 ビットのプロセスを選択してください。";
}
