// A target for the back-trace tests of optimized code: built -O2 without frame pointers and
// stripped, once with unwind tables and once without. Five threads stop at the end of call
// chains of their own: one blocked in a wait below frames with large locals and alloca, one
// spinning in a leaf of its own code, one blocked in a callback that msvcrt's qsort makes,
// one blocked twelve levels deep in a recursion, one blocked in a window procedure that its
// own SendMessage entered through user32. Every function of a chain records its own return
// address, so the true chains are known without any unwinder.
// Prints "pid N", then per thread "chain NAME ID RA..." (innermost first), then "ready", and
// waits.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

namespace {

constexpr int kThreads = 5;
constexpr int kRecursion = 12;
constexpr int kMaxDepth = 16;

struct Chain {
  const char* name;
  DWORD id;
  void* returns[kMaxDepth];  // innermost first, as a back trace lists them
  int count;
};

Chain g_chains[kThreads] = {{"wait", 0, {}, 0}, {"spin", 0, {}, 0}, {"callback", 0, {}, 0}, {"recursion", 0, {}, 0},
                            {"message", 0, {}, 0}};
HANDLE g_never;
HANDLE g_recorded[kThreads];
volatile LONG g_spin = 1;
volatile int g_sink;

// Records the caller's return address at its level of the chain; the innermost function
// records last but stands first.
#define RECORD(chain, level)                                          \
  do {                                                                \
    g_chains[chain].returns[level] = __builtin_return_address(0);     \
    if (g_chains[chain].count < (level) + 1) g_chains[chain].count = (level) + 1; \
  } while (0)

// Every function does some work after its call, so that no call becomes a jump.
__attribute__((noinline)) void wait_level3(int n) {
  RECORD(0, 0);
  volatile int local[8];
  local[n & 7] = n;
  SetEvent(g_recorded[0]);
  WaitForSingleObject(g_never, INFINITE);
  g_sink = local[n & 7];
}
// A frame of its own size, made at run time: the compiler keeps EBP for it.
__attribute__((noinline)) void wait_level2(int n) {
  RECORD(0, 1);
  volatile char* block = static_cast<volatile char*>(__builtin_alloca(64 + (n & 0xff) * 16));
  block[0] = static_cast<char>(n);
  wait_level3(n + 1);
  g_sink = n + block[0];
}
// Large locals: several pages between this frame's return address and its callee's.
__attribute__((noinline)) void wait_level1(int n) {
  RECORD(0, 2);
  volatile int big[1500];
  big[n % 1500] = n;
  wait_level2(n * 3);
  g_sink = n + 1 + big[n % 1500];
}
__attribute__((noinline)) DWORD WINAPI wait_thread(LPVOID) {
  RECORD(0, 3);
  wait_level1(2);
  g_sink = 0;
  return 0;
}

__attribute__((noinline)) void spin_level2(int n) {
  RECORD(1, 0);
  SetEvent(g_recorded[1]);
  while (g_spin) g_sink = n;
}
__attribute__((noinline)) void spin_level1(int n) {
  RECORD(1, 1);
  spin_level2(n + 5);
  g_sink = n;
}
__attribute__((noinline)) DWORD WINAPI spin_thread(LPVOID) {
  RECORD(1, 2);
  spin_level1(7);
  g_sink = 1;
  return 0;
}

__attribute__((noinline)) int __cdecl compare_blocking(const void* a, const void* b) {
  RECORD(2, 0);
  SetEvent(g_recorded[2]);
  WaitForSingleObject(g_never, INFINITE);
  return *static_cast<const int*>(a) - *static_cast<const int*>(b);
}
__attribute__((noinline)) void sort_level1(int* values, int n) {
  RECORD(2, 1);
  qsort(values, n, sizeof *values, compare_blocking);
  g_sink = values[0];
}
__attribute__((noinline)) DWORD WINAPI callback_thread(LPVOID) {
  RECORD(2, 2);
  int values[4] = {4, 3, 2, 1};
  sort_level1(values, 4);
  g_sink = values[1];
  return 0;
}

// Recursion records one return address per level: the outermost call comes from the thread.
// recurse(kRecursion - 1, kRecursion - 1) makes kRecursion frames of recurse.
__attribute__((noinline)) void recurse(int depth, int level) {
  g_chains[3].returns[depth] = __builtin_return_address(0);
  if (level > 0) {
    recurse(depth - 1, level - 1);
    g_sink = level;
    return;
  }
  SetEvent(g_recorded[3]);
  WaitForSingleObject(g_never, INFINITE);
}
__attribute__((noinline)) DWORD WINAPI recursion_thread(LPVOID) {
  RECORD(3, kRecursion);
  g_chains[3].count = kRecursion + 1;
  recurse(kRecursion - 1, kRecursion - 1);
  g_sink = 2;
  return 0;
}

// The window procedure blocks in the message its own thread sent: user32's frames lie
// between it and the sender.
__attribute__((noinline)) LRESULT CALLBACK blocking_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_USER) return DefWindowProcA(window, message, wparam, lparam);
  RECORD(4, 0);
  SetEvent(g_recorded[4]);
  WaitForSingleObject(g_never, INFINITE);
  return 0;
}
__attribute__((noinline)) void send_level1(HWND window) {
  RECORD(4, 1);
  SendMessageA(window, WM_USER, 1, 2);
  g_sink = 3;
}
__attribute__((noinline)) DWORD WINAPI message_thread(LPVOID) {
  RECORD(4, 2);
  WNDCLASSA type = {};
  type.lpfnWndProc = blocking_window_proc;
  type.hInstance = GetModuleHandleA(NULL);
  type.lpszClassName = "optimized_target_window";
  RegisterClassA(&type);
  HWND window = CreateWindowExA(0, type.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, type.hInstance, NULL);
  send_level1(window);
  g_sink = 4;
  return 0;
}

}  // namespace

int main() {
  g_never = CreateEventA(NULL, TRUE, FALSE, NULL);
  const LPTHREAD_START_ROUTINE routines[kThreads] = {wait_thread, spin_thread, callback_thread, recursion_thread,
                                                     message_thread};
  for (int i = 0; i < kThreads; ++i) {
    g_recorded[i] = CreateEventA(NULL, TRUE, FALSE, NULL);
    CreateThread(NULL, 0, routines[i], NULL, 0, &g_chains[i].id);
  }
  WaitForMultipleObjects(kThreads, g_recorded, TRUE, 30000);
  Sleep(200);  // let the waiting threads reach their waits
  printf("pid %lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
  for (int i = 0; i < kThreads; ++i) {
    printf("chain %s %lu", g_chains[i].name, static_cast<unsigned long>(g_chains[i].id));
    for (int k = 0; k < g_chains[i].count; ++k) printf(" %08lx", static_cast<unsigned long>(reinterpret_cast<DWORD_PTR>(g_chains[i].returns[k])));
    printf("\n");
  }
  printf("ready\n");
  fflush(stdout);
  WaitForSingleObject(g_never, INFINITE);
  return 0;
}
