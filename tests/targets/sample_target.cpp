// A target for the end-to-end tests: a main thread and workers blocked a few calls deep in
// functions of their own, one thread that has already exited, one thread deep in recursion,
// a committed region at 0x10000000 with a known pattern, a no-access region and a guard page.
// Prints "pid N", "thread NAME ID" per live thread, "exited ID", then "ready", and waits.
// With --answer the main thread then answers each line read from stdin with
// "answer LINE pattern-ok|pattern-changed threads-ok|threads-gone" (the pattern region as
// written, the four waiting workers still alive), until stdin ends; then it waits.
#include <windows.h>
#include <stdio.h>
#include <string.h>

extern "C" {

static HANDLE g_never;  // never signalled: every waiting thread stays where it is

__attribute__((noinline)) void alpha_wait(void) { WaitForSingleObject(g_never, INFINITE); }
__attribute__((noinline)) void alpha_level2(void) { alpha_wait(); }
__attribute__((noinline)) void alpha_level1(void) { alpha_level2(); }
__attribute__((noinline)) DWORD WINAPI worker_alpha(LPVOID) {
  alpha_level1();
  return 0;
}

__attribute__((noinline)) void beta_sleep(void) { Sleep(INFINITE); }
__attribute__((noinline)) void beta_level1(void) { beta_sleep(); }
__attribute__((noinline)) DWORD WINAPI worker_beta(LPVOID) {
  beta_level1();
  return 0;
}

__attribute__((noinline)) void gamma_wait(int depth) {
  if (depth > 0) {
    gamma_wait(depth - 1);
    return;
  }
  WaitForSingleObject(g_never, INFINITE);
}
__attribute__((noinline)) DWORD WINAPI worker_gamma(LPVOID) {
  gamma_wait(2);
  return 0;
}

// Far deeper than the 100 frames a back trace shows.
__attribute__((noinline)) void deep_recursion(int depth) {
  volatile int keep = depth;
  if (depth > 0) {
    deep_recursion(depth - 1);
  } else {
    WaitForSingleObject(g_never, INFINITE);
  }
  (void)keep;
}
__attribute__((noinline)) DWORD WINAPI worker_deep(LPVOID) {
  deep_recursion(150);
  return 0;
}

__attribute__((noinline)) DWORD WINAPI worker_exits(LPVOID) { return 7; }

__attribute__((noinline)) void main_wait(void) { WaitForSingleObject(g_never, INFINITE); }

}  // extern "C"

static const DWORD kPatternBase = 0x10000000;
static const DWORD kPatternSize = 0x10000;

static void MakeRegions(void) {
  BYTE* pattern = static_cast<BYTE*>(VirtualAlloc(reinterpret_cast<LPVOID>(kPatternBase), kPatternSize,
                                                  MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (pattern) {
    for (DWORD i = 0; i < kPatternSize; ++i) pattern[i] = static_cast<BYTE>((i * 7 + 3) & 0xFF);
  }
  VirtualAlloc(reinterpret_cast<LPVOID>(0x10100000), 0x2000, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
  VirtualAlloc(reinterpret_cast<LPVOID>(0x10200000), 0x1000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD);
}

static bool PatternIntact(void) {
  const BYTE* pattern = reinterpret_cast<const BYTE*>(kPatternBase);
  for (DWORD i = 0; i < kPatternSize; ++i) {
    if (pattern[i] != static_cast<BYTE>((i * 7 + 3) & 0xFF)) return false;
  }
  return true;
}

static bool AllAlive(const HANDLE* threads, int count) {
  for (int i = 0; i < count; ++i) {
    DWORD code = 0;
    if (!GetExitCodeThread(threads[i], &code) || code != STILL_ACTIVE) return false;
  }
  return true;
}

static void AnswerStdin(const HANDLE* workers, int count) {
  char line[256];
  while (fgets(line, sizeof line, stdin)) {
    line[strcspn(line, "\r\n")] = 0;
    printf("answer %s %s %s\n", line, PatternIntact() ? "pattern-ok" : "pattern-changed",
           AllAlive(workers, count) ? "threads-ok" : "threads-gone");
    fflush(stdout);
  }
}

static HANDLE Start(const char* name, LPTHREAD_START_ROUTINE routine) {
  DWORD id = 0;
  HANDLE thread = CreateThread(NULL, 0, routine, NULL, 0, &id);
  if (name) printf("thread %s %lu\n", name, static_cast<unsigned long>(id));
  return thread;
}

int main(int argc, char** argv) {
  g_never = CreateEventA(NULL, TRUE, FALSE, NULL);
  MakeRegions();
  printf("pid %lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
  printf("thread main %lu\n", static_cast<unsigned long>(GetCurrentThreadId()));
  HANDLE workers[4];
  workers[0] = Start("worker_alpha", worker_alpha);
  workers[1] = Start("worker_beta", worker_beta);
  workers[2] = Start("worker_gamma", worker_gamma);
  workers[3] = Start("worker_deep", worker_deep);
  DWORD exitedId = 0;
  HANDLE exited = CreateThread(NULL, 0, worker_exits, NULL, 0, &exitedId);
  WaitForSingleObject(exited, INFINITE);
  printf("exited %lu\n", static_cast<unsigned long>(exitedId));
  Sleep(200);  // let every worker reach its wait
  printf("ready\n");
  fflush(stdout);
  if (argc > 1 && strcmp(argv[1], "--answer") == 0) AnswerStdin(workers, 4);
  main_wait();
  return 0;
}
