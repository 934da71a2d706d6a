#include "report/minidump.h"

namespace {

// Thread stacks are in every minidump; these add what a debugger wants besides them.
constexpr DWORD kNormalType =
    MiniDumpWithDataSegs | MiniDumpWithHandleData | MiniDumpWithUnloadedModules | MiniDumpWithThreadInfo;

const char* KindName(MinidumpKind kind) { return kind == MinidumpKind::kFull ? "full" : "normal"; }

const CThreadContext* ThreadOfEvent(const CTarget& target, uint32_t threadId) {
  for (const CThreadContext& thread : target.threads()) {
    if (thread.threadId == threadId) return &thread;
  }
  return nullptr;
}

}  // namespace

MINIDUMP_TYPE MinidumpType(MinidumpKind kind) {
  switch (kind) {
    case MinidumpKind::kNone:
      break;
    case MinidumpKind::kNormal:
      return static_cast<MINIDUMP_TYPE>(kNormalType);
    case MinidumpKind::kFull:
      return static_cast<MINIDUMP_TYPE>(kNormalType | MiniDumpWithFullMemory);
  }
  return MiniDumpNormal;
}

bool WriteMinidump(const ReportContext& context, const EXCEPTION_DEBUG_INFO& exception, uint32_t threadId) {
  CReportOutput& report = context.report;
  const CTarget& target = context.target;
  const MinidumpKind kind = context.options.minidump;
  const std::wstring name = MinidumpFileNameOf(report.reportPathW);
  const std::string shown = report.reportPath + ".dmp";
  report.NotePhase(DumpPhase::kMinidumpStarting);
  report.Log("Writing minidump %s (%s)", shown.c_str(), KindName(kind));

  // For reading and writing, as the platform's own dump writers open theirs.
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    report.Log("File:%s creation failed (%d)", shown.c_str(), static_cast<int>(GetLastError()));
    return false;
  }

  // The target is stopped in the exception event of the report: the breakpoint that attaching
  // raised in a thread of its own, or, for a crash, the crash in its thread. That event goes in as the dump's exception, as a
  // debugger's own dump after attaching has it: WinDbg and Visual Studio then open the dump
  // at that thread with the event for what it is ("break instruction exception"), and
  // winedbg selects that thread, which it could not do without an exception. Its registers
  // are the ones the report printed; every thread, the break-in thread too, is in the dump
  // as in the report. The pointers are the tool's own, so ClientPointers is false.
  EXCEPTION_RECORD record = exception.ExceptionRecord;
  CONTEXT registers;
  EXCEPTION_POINTERS pointers = {&record, &registers};
  MINIDUMP_EXCEPTION_INFORMATION exceptionParam = {threadId, &pointers, FALSE};
  const CThreadContext* thread = ThreadOfEvent(target, threadId);
  if (thread != nullptr) registers = thread->context;

  // The process handle is the one the process-creation event gave the debugger, opened by
  // the system with all access: the writer's query, read and (for the handle data)
  // handle-duplication rights are all in it.
  const BOOL written = MiniDumpWriteDump(target.process(), target.processId(), file, MinidumpType(kind),
                                         thread != nullptr ? &exceptionParam : nullptr, nullptr, nullptr);
  const DWORD error = GetLastError();  // an HRESULT
  CloseHandle(file);
  if (!written) {
    report.Log("MiniDumpWriteDump failed (e=0x%08x); %s removed", static_cast<unsigned>(error), shown.c_str());
    DeleteFileW(name.c_str());
    return false;
  }
  report.Log("Minidump %s written", shown.c_str());
  return true;
}
