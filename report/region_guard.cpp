#include "report/region_guard.h"

#include <setjmp.h>

namespace {

// MinGW's g++ has no __try/__except; a vectored handler sees the exception first and jumps
// back to the guard, whose longjmp also unwinds the structured handler chain.
jmp_buf* guardJump = nullptr;
DWORD guardThread = 0;
DWORD guardCode = 0;

// Only errors (severity bits 11) stop a step: warnings such as a guard-page touch and
// informational exceptions such as debug output are meant to be continued by their raisers,
// and a breakpoint belongs to a debugger.
bool IsError(DWORD code) { return (code & 0xC0000000u) == 0xC0000000u; }

// Faults inside Windows code are that code's own business: it raises first-chance exceptions
// and handles them itself. Only a fault in the tool's own code ends a step.
bool RaisedInOwnImage(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCSTR>(address), &module)) {
    return false;
  }
  return module == GetModuleHandleA(nullptr);
}

LONG CALLBACK StopGuardedStep(PEXCEPTION_POINTERS pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  if (guardJump == nullptr || guardThread != GetCurrentThreadId() || !IsError(record.ExceptionCode) ||
      !RaisedInOwnImage(record.ExceptionAddress)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  guardCode = record.ExceptionCode;
  longjmp(*guardJump, 1);
}

}  // namespace

RegionGuard::RegionGuard() { handler = AddVectoredExceptionHandler(1, StopGuardedStep); }

RegionGuard::~RegionGuard() {
  if (handler != nullptr) RemoveVectoredExceptionHandler(handler);
}

bool RegionGuard::Run(Step step, void* context, DWORD* code) {
  jmp_buf jump;
  guardThread = GetCurrentThreadId();
  guardJump = &jump;
  if (setjmp(jump) != 0) {
    guardJump = nullptr;
    *code = guardCode;
    return false;
  }
  step(context);
  guardJump = nullptr;
  return true;
}
