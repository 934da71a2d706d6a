// Becoming the target's debugger, and the loop over its debug events.
#include <stdlib.h>

#include "session/debug_privilege.h"
#include "session/keep_running.h"
#include "session/log_file.h"

namespace {

constexpr DWORD kEventTimeoutMs = 30000;

}  // namespace

bool CLogFile::AttachToProcess(uint32_t targetProcessId) {
  const std::string privilegeFailure = EnableDebugPrivilege();
  if (!privilegeFailure.empty()) {
    Log("%s", privilegeFailure.c_str());
    return false;
  }
  if (!DebugActiveProcess(targetProcessId)) {
    Log("Can't attach to process %d (e=%d)", static_cast<int>(targetProcessId), static_cast<int>(GetLastError()));
    return false;
  }
  return true;
}

void CLogFile::LeaveTargetRunning(uint32_t targetProcessId) {
  // Ending the debugger must not end the target, and detaching lets every thread go on.
  DebugSetProcessKillOnExit(FALSE);
  if (!DebugActiveProcessStop(targetProcessId)) {
    Log("Can't detach from process %d (e=%d)", static_cast<int>(targetProcessId), static_cast<int>(GetLastError()));
  }
}

void CLogFile::HandOn(DebugEventListener::Callback DebugEventListener::*which, const DEBUG_EVENT& event) {
  for (const DebugEventListener& listener : listeners) {
    if (listener.*which != nullptr) (listener.*which)(listener.context, *this, event);
  }
}

bool CLogFile::RunDebugLoop(uint32_t targetProcessId) {
  // Everything that can refuse the dump by its names alone does so before the target is touched.
  if (!CheckRegionFileNames()) return false;
  NotePhase(DumpPhase::kAttaching);
  if (!AttachToProcess(targetProcessId)) return false;
  // Files change only once the attach has succeeded: a failed attach leaves them all as they were.
  if (!RemoveEarlierRegionFiles() || !RemoveEarlierMinidump() || (creation != ReportCreation::kAtOnce && !CreateReportFile())) {
    LeaveTargetRunning(targetProcessId);
    return false;
  }
  if (options.keepRunning) KeepTargetAfterDebuggerEnds(*this);
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
        if (options.keepRunning) {
          // The dump's reads clear the guard of every guard page they touch; the target gets
          // each one back before it runs on.
          const GuardPages guards = RecordGuardPages(*this);
          HandOn(&DebugEventListener::onException, event);
          RestoreGuardPages(*this, guards);
          ContinueAndDetach(*this, event);
          return true;
        }
        HandOn(&DebugEventListener::onException, event);
        status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case CREATE_THREAD_DEBUG_EVENT:
        AddThread(event.u.CreateThread.hThread, event.dwThreadId);
        HandOn(&DebugEventListener::onThreadCreated, event);
        break;
      case CREATE_PROCESS_DEBUG_EVENT:
        OnProcessOrModuleEvent(event);
        AddThread(event.u.CreateProcessInfo.hThread, event.dwThreadId);
        HandOn(&DebugEventListener::onProcessCreated, event);
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        HandOn(&DebugEventListener::onProcessExited, event);
        return true;  // not continued
      case LOAD_DLL_DEBUG_EVENT:
        OnProcessOrModuleEvent(event);
        HandOn(&DebugEventListener::onModuleLoaded, event);
        break;
      case UNLOAD_DLL_DEBUG_EVENT:  // the module keeps its record, marked as gone
        UnloadModule(TargetAddress(event.u.UnloadDll.lpBaseOfDll));
        HandOn(&DebugEventListener::onModuleUnloaded, event);
        break;
      case EXIT_THREAD_DEBUG_EVENT:
        RemoveThread(event.dwThreadId);
        HandOn(&DebugEventListener::onThreadExited, event);
        break;
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
