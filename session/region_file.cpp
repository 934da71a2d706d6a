// The file of one committed region, named after the report: "%s.%08X.bin".
#include <stdio.h>

#include "session/log_file.h"

namespace {

constexpr size_t kFileNameCapacity = 260;  // MAX_PATH, with the terminating zero
constexpr size_t kFileNameSuffix = 13;     // ".%08X.bin"

}  // namespace

HANDLE CLogFile::CreateRegionFile(uint32_t base) {
  if (reportPathW.size() + kFileNameSuffix >= kFileNameCapacity) {
    Log("Dumpfile for %08X not written: the report name is longer than %d characters", base,
        static_cast<int>(kFileNameCapacity - kFileNameSuffix - 1));
    NoteFailedWrite();
    return INVALID_HANDLE_VALUE;
  }
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
