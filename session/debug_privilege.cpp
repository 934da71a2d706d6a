#include "session/debug_privilege.h"

#include <stdio.h>
#include <stdlib.h>

#include "session/platform.h"

namespace {

constexpr DWORD kPreviousStateSize = 1024;

std::string FailureLine(const char* format) {
  char line[80];
  snprintf(line, sizeof line, format, static_cast<int>(GetLastError()));
  return line;
}

}  // namespace

std::string EnableDebugPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return FailureLine("Can't get process token (e=%d)");
  }
  LUID luid = {0, 0};
  LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &luid);

  TOKEN_PRIVILEGES* privileges = static_cast<TOKEN_PRIVILEGES*>(calloc(1, sizeof(TOKEN_PRIVILEGES)));
  if (privileges == nullptr) {
    std::string failure = FailureLine("Can't get debug privilege (e=%d)");
    CloseHandle(token);
    return failure;
  }
  privileges->PrivilegeCount = 1;
  privileges->Privileges[0].Luid = luid;
  privileges->Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;

  std::string failure;
  alignas(8) BYTE previous[kPreviousStateSize];
  DWORD returnLength = 0;
  if (!AdjustTokenPrivileges(token, FALSE, privileges, kPreviousStateSize, reinterpret_cast<PTOKEN_PRIVILEGES>(previous),
                             &returnLength) &&
      GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    void* larger = calloc(1, returnLength ? returnLength : 1);
    if (larger == nullptr) {
      failure = FailureLine("Can't get debug privilege(2) (e=%d)");
    } else {
      AdjustTokenPrivileges(token, FALSE, privileges, returnLength, static_cast<PTOKEN_PRIVILEGES>(larger),
                            &returnLength);
      free(larger);
    }
  }
  free(privileges);
  CloseHandle(token);
  return failure;
}
