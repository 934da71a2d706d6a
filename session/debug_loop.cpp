// Becoming the target's debugger, and the loop over its debug events.
#include <stdlib.h>

#include "report/report.h"
#include "session/keep_running.h"
#include "session/log_file.h"

namespace {

constexpr DWORD kEventTimeoutMs = 30000;
constexpr DWORD kPreviousStateSize = 1024;

// Enables SeDebugPrivilege for the tool's own token. False only where the attach must not
// be tried; a token that lacks the privilege is not one of them.
bool EnableDebugPrivilege(CLogFile& session) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    session.Log("Can't get process token (e=%d)", static_cast<int>(GetLastError()));
    return false;
  }
  LUID luid = {0, 0};
  LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &luid);

  TOKEN_PRIVILEGES* privileges = static_cast<TOKEN_PRIVILEGES*>(calloc(1, sizeof(TOKEN_PRIVILEGES)));
  if (privileges == nullptr) {
    session.Log("Can't get debug privilege (e=%d)", static_cast<int>(GetLastError()));
    CloseHandle(token);
    return false;
  }
  privileges->PrivilegeCount = 1;
  privileges->Privileges[0].Luid = luid;
  privileges->Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;

  bool ok = true;
  alignas(8) BYTE previous[kPreviousStateSize];
  DWORD returnLength = 0;
  if (!AdjustTokenPrivileges(token, FALSE, privileges, kPreviousStateSize, reinterpret_cast<PTOKEN_PRIVILEGES>(previous),
                             &returnLength) &&
      GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    void* larger = calloc(1, returnLength ? returnLength : 1);
    if (larger == nullptr) {
      session.Log("Can't get debug privilege(2) (e=%d)", static_cast<int>(GetLastError()));
      ok = false;
    } else {
      AdjustTokenPrivileges(token, FALSE, privileges, returnLength, static_cast<PTOKEN_PRIVILEGES>(larger),
                            &returnLength);
      free(larger);
    }
  }
  free(privileges);
  CloseHandle(token);
  return ok;
}

}  // namespace

bool CLogFile::AttachToProcess(uint32_t targetProcessId) {
  if (!EnableDebugPrivilege(*this)) return false;
  if (!DebugActiveProcess(targetProcessId)) {
    Log("Can't attach to process %d (e=%d)", static_cast<int>(targetProcessId), static_cast<int>(GetLastError()));
    return false;
  }
  return true;
}

bool CLogFile::RunDebugLoop(uint32_t targetProcessId) {
  if (!AttachToProcess(targetProcessId)) return false;
  if (keepRunning) KeepTargetAfterDebuggerEnds(*this);
  for (;;) {
    DEBUG_EVENT event;
    if (!WaitForDebugEvent(&event, kEventTimeoutMs)) {
      Log("WaitForDebugEvent Failed (%d)", static_cast<int>(GetLastError()));
      eventWaitFailed = true;
      return true;
    }
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case EXCEPTION_DEBUG_EVENT:
        eventThreadId = event.dwThreadId;
        WriteReport(*this, event.u.Exception);
        ++reportsWritten;
        if (keepRunning) {
          ContinueAndDetach(*this, event);
          return true;
        }
        status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case CREATE_THREAD_DEBUG_EVENT:
        AddThread(event.u.CreateThread.hThread, event.dwThreadId);
        break;
      case CREATE_PROCESS_DEBUG_EVENT:
        OnProcessOrModuleEvent(event);
        AddThread(event.u.CreateProcessInfo.hThread, event.dwThreadId);
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        return true;  // not continued
      case LOAD_DLL_DEBUG_EVENT:
        OnProcessOrModuleEvent(event);
        break;
      case EXIT_THREAD_DEBUG_EVENT:  // the thread keeps its record
      case UNLOAD_DLL_DEBUG_EVENT:   // the module keeps its record
      case OUTPUT_DEBUG_STRING_EVENT:
      case RIP_EVENT:
        break;
      default:
        Log("Invalid Debug Event %d", static_cast<int>(event.dwDebugEventCode));
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
}
