#include "session/keep_running.h"

void KeepTargetAfterDebuggerEnds(CLogFile& session) {
  if (!DebugSetProcessKillOnExit(FALSE)) {
    session.Log("DebugSetProcessKillOnExit failed (%d)", static_cast<int>(GetLastError()));
  }
}

void ContinueAndDetach(CLogFile& session, const DEBUG_EVENT& event) {
  const bool attachBreakpoint = event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT;
  ContinueDebugEvent(event.dwProcessId, event.dwThreadId, attachBreakpoint ? DBG_CONTINUE : DBG_EXCEPTION_NOT_HANDLED);
  if (!DebugActiveProcessStop(event.dwProcessId)) {
    session.Log("Can't detach from process %d (e=%d)", static_cast<int>(event.dwProcessId),
                static_cast<int>(GetLastError()));
  }
}
