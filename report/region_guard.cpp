#include "report/region_guard.h"

#ifdef _WIN32
#include <setjmp.h>

namespace {

// MinGW's g++ has no __try/__except; a vectored handler sees the exception first and jumps
// back to the guard, whose longjmp also unwinds the structured handler chain.
jmp_buf* guardJump = nullptr;
DWORD guardThread = 0;
DWORD guardCode = 0;

// Only errors (severity bits 11) stop a step: warnings and informational exceptions such as
// debug output are meant to be continued by their raisers.
bool IsError(DWORD code) { return (code & 0xC0000000u) == 0xC0000000u; }

LONG CALLBACK StopGuardedStep(PEXCEPTION_POINTERS pointers) {
  DWORD code = pointers->ExceptionRecord->ExceptionCode;
  if (guardJump == nullptr || guardThread != GetCurrentThreadId() || !IsError(code)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  guardCode = code;
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

#else

// The host stand-in raises no processor exceptions; the sanitizers watch the host build.
RegionGuard::RegionGuard() {}
RegionGuard::~RegionGuard() {}

bool RegionGuard::Run(Step step, void* context, DWORD*) {
  step(context);
  return true;
}

#endif
