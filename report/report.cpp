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
void WriteThreadSection(const ReportContext& context, const CThreadContext& thread,
                        const std::vector<FrameRecord>& frames) {
  context.report.Print("State Dump for Thread ID 0x%x\r\n", thread.threadId);
  WriteRegisters(context, thread);
  WriteCodeListing(context, thread, thread.eip);
  WriteBackTrace(context, thread, frames);
  WriteRawStack(context, thread);
}

}  // namespace

void ReadThreadContext(CReportOutput& report, CThreadContext& thread) {
  memset(&thread.context, 0, sizeof thread.context);
  thread.context.ContextFlags = kContextFlags;
  if (GetThreadContext(thread.hThread, &thread.context)) {
    thread.eip = thread.context.Eip;
    thread.ebp = thread.context.Ebp;
    thread.esp = thread.context.Esp;
    return;
  }
  report.Log(">>>>> GetThreadContext failed: err(%d), hthread(0x%x)", static_cast<int>(GetLastError()),
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(thread.hThread)));
  thread.eip = thread.ebp = thread.esp = 0;
}

void WriteReport(CLogFile& session, const EXCEPTION_DEBUG_INFO& exception) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  session.NotePhase(DumpPhase::kReportStarting);
  WriteHeader(session, now);
  const ReportContext context = session;
  if (session.reportShowsException) WriteExceptionSection(context, exception, session.eventThreadId);
  // Every thread's registers and frames first: the wait chains need them all before the
  // first thread section, and the back traces reuse the frames.
  for (CThreadContext& thread : session.threads) ReadThreadContext(session, thread);
  const std::vector<std::vector<FrameRecord>> frames = WalkThreads(session.target);
  WriteWaitChains(context, frames);
  for (size_t i = 0; i < session.threads.size(); ++i) WriteThreadSection(context, session.threads[i], frames[i]);
  session.NotePhase(DumpPhase::kThreadsWritten);
  if (session.options.symbolTableEnabled) WriteSymbolTable(context);
  session.NotePhase(DumpPhase::kSymbolTableWritten);
  if (session.options.memoryDumpEnabled) DumpCommittedMemory(context);
  session.NotePhase(DumpPhase::kMemoryDumped);
  // Still stopped and still the debuggee: the minidump shows the report's moment. One per
  // session, so the file always shows the first report's moment.
  if (session.options.minidump != MinidumpKind::kNone && !session.minidumpTried) {
    session.minidumpTried = true;
    session.minidumpFailed = !WriteMinidump(context, exception, session.eventThreadId);
  }
  session.NotePhase(DumpPhase::kMinidumpWritten);
  session.FlushReportText();
  session.symbols.EndReport();
  // The target's memory may change once it runs again.
  session.memory.Clear();
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
