// Becoming the target's debugger, and the loop over its debug events.
#include <stdlib.h>
#include <string.h>

#include "session/ansi_text.h"
#include "session/debug_privilege.h"
#include "session/end_target.h"
#include "session/keep_running.h"
#include "session/log_file.h"

namespace {

constexpr DWORD kEventTimeoutMs = 30000;
// The top two bits of an exception code: 3 is an error (0xC..., 0xE...).
constexpr DWORD kSeverityMask = 0xC0000000;
constexpr DWORD kSeverityError = 0xC0000000;

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
  return RunEvents(targetProcessId);
}

bool CLogFile::LaunchProcess(const std::wstring& program, const std::wstring& commandLine, DWORD* error) {
  NotePhase(DumpPhase::kAttaching);
  STARTUPINFOW startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started;
  memset(&started, 0, sizeof started);
  std::wstring line = commandLine;  // CreateProcessW may write into its command line
  line.push_back(L'\0');
  if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr,
                      &startup, &started)) {
    *error = GetLastError();
    Log("Can't start %s (e=%d)", AnsiForDisplay(program).c_str(), static_cast<int>(*error));
    return false;
  }
  // The debug events bring handles of their own; these two are only the creator's.
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  processId = started.dwProcessId;
  launched = true;
  Log("Started %s as process %u; processes it starts are not followed", AnsiForDisplay(program).c_str(),
      static_cast<unsigned>(processId));
  return true;
}

bool CLogFile::RunLaunchedDebugLoop() {
  // A refusal by the names leaves the program to the end the debugger's exit gives it.
  if (!launched || !CheckRegionFileNames()) return false;
  return RunEvents(processId);
}

void CLogFile::RenameReport(const std::wstring& reportFileName) {
  reportPathW = reportFileName;
  reportPath = AnsiForDisplay(reportPathW);
}

bool CLogFile::PrepareReportFiles() {
  return RemoveEarlierRegionFiles() && RemoveEarlierMinidump() &&
         (creation == ReportCreation::kAtOnce || CreateReportFile());
}

void CLogFile::SignalAttached() {
  if (options.attachedEvent == nullptr) return;
  if (!SetEvent(options.attachedEvent)) {
    Log("Can't signal the attach event 0x%x (e=%d); the dump goes on",
        static_cast<unsigned>(reinterpret_cast<uintptr_t>(options.attachedEvent)), static_cast<int>(GetLastError()));
  }
}

bool CLogFile::IsReportMoment(const DEBUG_EVENT& event, bool attachBreakpoint) const {
  const DWORD code = event.u.Exception.ExceptionRecord.ExceptionCode;
  switch (options.reportAt) {
    case ReportMoment::kFirstException:
      return true;
    case ReportMoment::kUnhandled:
      return !attachBreakpoint && event.u.Exception.dwFirstChance == 0;
    case ReportMoment::kFirstChanceError:
      return (code & kSeverityMask) == kSeverityError;
  }
  return false;
}

void CLogFile::WriteCrashReport(const DEBUG_EVENT& event) {
  targetEnding = true;
  // In the crash moments the report's files are made only now: a program that ends without
  // a crash leaves none behind, and an earlier dump's stay until this one replaces them.
  if (!PrepareReportFiles()) return;
  bool known = false;
  for (const CThreadContext& thread : threads) known = known || thread.threadId == event.dwThreadId;
  if (!known) {
    Log("The exception came in thread 0x%x, which is not in the thread table yet; it has no section",
        static_cast<unsigned>(event.dwThreadId));
  }
  if (!attachBreakpointTaken) Log("The exception came before the attach had finished");
  reportShowsException = true;
  ReportAndEnd(event);
}

void CLogFile::ReportAndEnd(const DEBUG_EVENT& event) {
  const uint32_t before = reportsWritten;
  HandOn(&DebugEventListener::onException, event);
  // It cannot go on past the exception it was reported for.
  if (reportsWritten != before) EndTarget(*this);
}

DWORD CLogFile::OnException(const DEBUG_EVENT& event) {
  const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
  // The first breakpoint after the process creation is the one attaching (or, for a started
  // program, its loader) raises.
  const bool attachBreakpoint = !attachBreakpointTaken && record.ExceptionCode == EXCEPTION_BREAKPOINT;
  if (attachBreakpoint) {
    attachBreakpointTaken = true;
    SignalAttached();
  }
  if (options.reportAt == ReportMoment::kFirstException) {
    reportShowsException = !attachBreakpoint;
    ReportAndEnd(event);
    return DBG_EXCEPTION_NOT_HANDLED;
  }
  if (attachBreakpoint) return DBG_CONTINUE;  // the target never sees it
  // Every other exception that is not the moment goes back to the target's own handlers.
  if (!IsReportMoment(event, attachBreakpoint)) return DBG_EXCEPTION_NOT_HANDLED;
  if (targetEnding) {
    Log("A further exception %08x in thread 0x%x while the target is ended; no second report",
        static_cast<unsigned>(record.ExceptionCode), static_cast<unsigned>(event.dwThreadId));
    return DBG_EXCEPTION_NOT_HANDLED;
  }
  WriteCrashReport(event);
  return DBG_EXCEPTION_NOT_HANDLED;
}

void CLogFile::NoteExitWithoutReport(const DEBUG_EVENT& event) {
  if (options.reportAt == ReportMoment::kFirstException || reportsWritten != 0 || reportRefused) return;
  const unsigned code = static_cast<unsigned>(event.u.ExitProcess.dwExitCode);
  Log("Process %u exited with code %u (0x%08x) before it crashed; no report written",
      static_cast<unsigned>(event.dwProcessId), code, code);
}

bool CLogFile::RunEvents(uint32_t targetProcessId) {
  const bool crashMoment = options.reportAt != ReportMoment::kFirstException;
  // Files change only once the attach has succeeded: a failed attach leaves them all as they were.
  if (!crashMoment && !PrepareReportFiles()) {
    LeaveTargetRunning(targetProcessId);
    return false;
  }
  // Keeping the target running is a matter of the attach moment only: past a crash it cannot go on.
  const bool keepRunning = options.keepRunning && !crashMoment;
  if (keepRunning) KeepTargetAfterDebuggerEnds(*this);
  // A crash can come at any time, so waiting for it never times out.
  const DWORD timeout = crashMoment ? INFINITE : kEventTimeoutMs;
  for (;;) {
    DEBUG_EVENT event;
    if (!WaitForDebugEvent(&event, timeout)) {
      Log("WaitForDebugEvent Failed (%d)", static_cast<int>(GetLastError()));
      eventWaitFailed = true;
      return true;
    }
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case EXCEPTION_DEBUG_EVENT:
        eventThreadId = event.dwThreadId;
        if (keepRunning) {
          // The dump's reads clear the guard of every guard page they touch; the target gets
          // each one back before it runs on.
          const GuardPages guards = RecordGuardPages(*this);
          HandOn(&DebugEventListener::onException, event);
          RestoreGuardPages(*this, guards);
          ContinueAndDetach(*this, event);
          return true;
        }
        status = OnException(event);
        if (crashMoment && reportRefused) {
          // No report can be made: the exception goes on as it would without a debugger.
          ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
          LeaveTargetRunning(targetProcessId);
          return true;
        }
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
        NoteExitWithoutReport(event);
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
