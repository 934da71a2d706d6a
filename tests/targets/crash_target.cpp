// Fails on command, for the crash report's Wine test: tells on stdout where it will fail
// (the faulting instruction, as an offset in its own image too), then fails.
//   crash_target KIND            KIND: null-read, ro-write, div0, overflow, raise, ud2, handled
//   crash_target wait MS KIND    the same after MS milliseconds
// "handled" faults in a way its own vectored handler takes, then exits with code 7.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern "C" {
void NullRead();
void RoWrite(void* page);
void DivideByZero();
void IllegalInstruction();
extern char NullReadAt[], RoWriteAt[], DivideAt[], IllegalAt[];
}

// Each fault at a label of its own, so the faulting address is known exactly.
asm(".text\n"
    ".globl _NullRead\n_NullRead:\n  xorl %eax, %eax\n.globl _NullReadAt\n_NullReadAt:\n  movl (%eax), %eax\n  ret\n"
    ".globl _RoWrite\n_RoWrite:\n  movl 4(%esp), %eax\n.globl _RoWriteAt\n_RoWriteAt:\n  movl $1, (%eax)\n  ret\n"
    ".globl _DivideByZero\n_DivideByZero:\n  movl $1, %eax\n  xorl %edx, %edx\n  xorl %ecx, %ecx\n"
    ".globl _DivideAt\n_DivideAt:\n  divl %ecx\n  ret\n"
    ".globl _IllegalInstruction\n_IllegalInstruction:\n.globl _IllegalAt\n_IllegalAt:\n  ud2\n  ret\n");

namespace {

void Tell(const char* key, const void* address) {
  const uintptr_t base = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
  printf("%s %08x +0x%x\n", key, static_cast<unsigned>(reinterpret_cast<uintptr_t>(address)),
         static_cast<unsigned>(reinterpret_cast<uintptr_t>(address) - base));
}

LONG CALLBACK SkipTheRead(PEXCEPTION_POINTERS pointers) {
  if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) return EXCEPTION_CONTINUE_SEARCH;
  if (pointers->ContextRecord->Eip != reinterpret_cast<DWORD>(NullReadAt)) return EXCEPTION_CONTINUE_SEARCH;
  pointers->ContextRecord->Eip += 2;  // movl (%eax), %eax
  return EXCEPTION_CONTINUE_EXECUTION;
}

volatile unsigned depth = 0;
#pragma GCC diagnostic ignored "-Winfinite-recursion"
unsigned __attribute__((noinline)) Recurse(unsigned n) {
  volatile char room[512];
  room[0] = static_cast<char>(n);
  depth = n;
  return Recurse(n + 1) + room[0];
}

int Fail(const char* kind) {
  if (strcmp(kind, "null-read") == 0) {
    Tell("fault", NullReadAt);
    fflush(stdout);
    NullRead();
  } else if (strcmp(kind, "ro-write") == 0) {
    void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
    Tell("fault", RoWriteAt);
    printf("page %08x\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(page)));
    fflush(stdout);
    RoWrite(page);
  } else if (strcmp(kind, "div0") == 0) {
    Tell("fault", DivideAt);
    fflush(stdout);
    DivideByZero();
  } else if (strcmp(kind, "ud2") == 0) {
    Tell("fault", IllegalAt);
    fflush(stdout);
    IllegalInstruction();
  } else if (strcmp(kind, "overflow") == 0) {
    fflush(stdout);
    return static_cast<int>(Recurse(0));
  } else if (strcmp(kind, "raise") == 0) {
    const ULONG_PTR parameters[3] = {1, 0x22, 0x333};
    fflush(stdout);
    RaiseException(0xE0001234, 0, 3, parameters);
  } else if (strcmp(kind, "handled") == 0) {
    AddVectoredExceptionHandler(1, SkipTheRead);
    Tell("fault", NullReadAt);
    fflush(stdout);
    NullRead();
    printf("handled\n");
    fflush(stdout);
    return 7;
  } else {
    fprintf(stderr, "unknown kind %s\n", kind);
    return 2;
  }
  return 3;  // not reached for a fault
}

}  // namespace

int main(int argc, char** argv) {
  printf("pid %u\nthread %x\n", static_cast<unsigned>(GetCurrentProcessId()), static_cast<unsigned>(GetCurrentThreadId()));
  fflush(stdout);
  if (argc >= 4 && strcmp(argv[1], "wait") == 0) {
    printf("ready\n");
    fflush(stdout);
    Sleep(static_cast<DWORD>(atoi(argv[2])));
    return Fail(argv[3]);
  }
  if (argc < 2) return 2;
  // The arguments as they came, for the test of how --launch passes them on.
  for (int i = 2; i < argc; ++i) printf("arg %d [%s]\n", i, argv[i]);
  return Fail(argv[1]);
}
