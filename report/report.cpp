#include "report/report.h"

#include <string.h>

#include "report/back_trace.h"
#include "report/exception_section.h"
#include "report/memory_dump.h"
#include "report/minidump.h"
#include "report/raw_stack.h"
#include "report/registers.h"
#include "report/symbol_table.h"
#include "report/wait_chains.h"

namespace {

constexpr DWORD kContextFlags = 0x0001001F;  // full, floating point and debug registers

void WriteHeader(CLogFile& session, const SYSTEMTIME& now) {
  session.Print("%s (pid=%d)\r\n", session.targetPath.c_str(), static_cast<int>(session.processId));
  session.Print("%d/%d/%d %d:%d:%d:%d\r\n", now.wMonth, now.wDay, now.wYear, now.wHour, now.wMinute, now.wSecond,
                now.wMilliseconds);
  for (const CModule& module : session.modules) {
    session.Print("(%08x - %08x) %s\r\n", module.base, module.base + module.size, module.name.c_str());
  }
  session.Print("\r\n");
}

// The context was read before the wait-chain section, which walked the frames.
void WriteThreadSection(CLogFile& session, CThreadContext& thread, const std::vector<FrameRecord>& frames) {
  session.Print("State Dump for Thread ID 0x%x\r\n", thread.threadId);
  WriteRegisters(session, thread);
  WriteCodeListing(session, thread, thread.eip);
  WriteBackTrace(session, thread, frames);
  WriteRawStack(session, thread);
}

}  // namespace

void ReadThreadContext(CLogFile& session, CThreadContext& thread) {
  memset(&thread.context, 0, sizeof thread.context);
  thread.context.ContextFlags = kContextFlags;
  if (GetThreadContext(thread.hThread, &thread.context)) {
    thread.eip = thread.context.Eip;
    thread.ebp = thread.context.Ebp;
    thread.esp = thread.context.Esp;
    return;
  }
  session.Log(">>>>> GetThreadContext failed: err(%d), hthread(0x%x)", static_cast<int>(GetLastError()),
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(thread.hThread)));
  thread.eip = thread.ebp = thread.esp = 0;
}

void WriteReport(CLogFile& session, const EXCEPTION_DEBUG_INFO& exception) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  session.NotePhase(DumpPhase::kReportStarting);
  WriteHeader(session, now);
  if (session.reportShowsException) WriteExceptionSection(session, exception);
  // Every thread's registers and frames first: the wait chains need them all before the
  // first thread section, and the back traces reuse the frames.
  for (CThreadContext& thread : session.threads) ReadThreadContext(session, thread);
  const std::vector<std::vector<FrameRecord>> frames = WalkThreads(session);
  WriteWaitChains(session, frames);
  for (size_t i = 0; i < session.threads.size(); ++i) WriteThreadSection(session, session.threads[i], frames[i]);
  session.NotePhase(DumpPhase::kThreadsWritten);
  if (session.options.symbolTableEnabled) WriteSymbolTable(session);
  session.NotePhase(DumpPhase::kSymbolTableWritten);
  if (session.options.memoryDumpEnabled) DumpCommittedMemory(session);
  session.NotePhase(DumpPhase::kMemoryDumped);
  // Still stopped and still the debuggee: the minidump shows the report's moment.
  WriteMinidump(session, exception);
  session.NotePhase(DumpPhase::kMinidumpWritten);
  session.FlushReportText();
  session.symbols.EndReport();
  // The target's memory may change once it runs again.
  session.ClearReadCache();
  session.moduleImages.Clear();
  session.codeBoundaries.Clear();
  session.NotePhase(DumpPhase::kReportWritten);
}

namespace {

void ReportException(void*, CLogFile& session, const DEBUG_EVENT& event) {
  WriteReport(session, event.u.Exception);
  ++session.reportsWritten;
}

}  // namespace

DebugEventListener ReportListener() {
  DebugEventListener listener;
  listener.onException = &ReportException;
  return listener;
}
