// A target that hangs in every way the wait-chain section names, and prints its truth:
// "pid N", "thread NAME ID" per thread, "cs NAME ADDRESS", "handle NAME VALUE",
// "window VALUE", "lock NAME ADDRESS" (hexadecimal without 0x), then "ready", and hangs.
//   deadlock_a, deadlock_b  each holds one critical section and enters the other's
//   event        WaitForSingleObject on the named event "tarnholm_hang_event"
//   holder       owns the mutex, then Sleep(INFINITE)
//   mutex        WaitForSingleObject on that mutex
//   join         WaitForSingleObject on the event thread's handle
//   any          WaitForMultipleObjects, any of the event and the semaphore, INFINITE
//   all          WaitForMultipleObjects, all of the event and the semaphore, 3600000 ms
//   sleeper      Sleep(3600000)
//   window       made the window, then waits for the sender thread to end
//   sender       SendMessageW(window, WM_USER + 1) to that window: a deadlock with window
//   pump         GetMessageW on a queue of its own
//   srw          AcquireSRWLockExclusive on a lock the main thread holds
//   condition    SleepConditionVariableCS, never woken
//   main         Sleep(INFINITE)
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include <stdio.h>

static CRITICAL_SECTION g_first, g_second, g_condition_cs;
static SRWLOCK g_srw = SRWLOCK_INIT;
static CONDITION_VARIABLE g_condition = CONDITION_VARIABLE_INIT;
static HANDLE g_event, g_mutex, g_semaphore, g_mutex_owned, g_event_thread, g_sender_thread, g_window_ready;
static HWND g_window;
static volatile LONG g_in_first_sections;

static DWORD WINAPI deadlock_a(LPVOID) {
  EnterCriticalSection(&g_first);
  InterlockedIncrement(&g_in_first_sections);
  while (g_in_first_sections < 2) Sleep(10);
  EnterCriticalSection(&g_second);
  return 0;
}

static DWORD WINAPI deadlock_b(LPVOID) {
  EnterCriticalSection(&g_second);
  InterlockedIncrement(&g_in_first_sections);
  while (g_in_first_sections < 2) Sleep(10);
  EnterCriticalSection(&g_first);
  return 0;
}

static DWORD WINAPI event_wait(LPVOID) { return WaitForSingleObject(g_event, INFINITE); }

static DWORD WINAPI holder(LPVOID) {
  WaitForSingleObject(g_mutex, INFINITE);
  SetEvent(g_mutex_owned);
  Sleep(INFINITE);
  return 0;
}

static DWORD WINAPI mutex_wait(LPVOID) { return WaitForSingleObject(g_mutex, INFINITE); }
static DWORD WINAPI join(LPVOID) { return WaitForSingleObject(g_event_thread, INFINITE); }

static DWORD WINAPI any_wait(LPVOID) {
  HANDLE both[2] = {g_event, g_semaphore};
  return WaitForMultipleObjects(2, both, FALSE, INFINITE);
}

static DWORD WINAPI all_wait(LPVOID) {
  HANDLE both[2] = {g_event, g_semaphore};
  return WaitForMultipleObjects(2, both, TRUE, 3600000);
}

static DWORD WINAPI sleeper(LPVOID) {
  Sleep(3600000);
  return 0;
}

static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  return DefWindowProcW(window, message, w, l);
}

static DWORD WINAPI window_thread(LPVOID) {
  WNDCLASSW type = {};
  type.lpfnWndProc = window_procedure;
  type.hInstance = GetModuleHandleW(nullptr);
  type.lpszClassName = L"TarnholmHang";
  RegisterClassW(&type);
  g_window = CreateWindowW(L"TarnholmHang", L"hang", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, type.hInstance, nullptr);
  SetEvent(g_window_ready);
  while (g_sender_thread == nullptr) Sleep(10);
  return WaitForSingleObject(g_sender_thread, INFINITE);
}

static DWORD WINAPI sender(LPVOID) { return static_cast<DWORD>(SendMessageW(g_window, WM_USER + 1, 0, 0)); }

static DWORD WINAPI pump(LPVOID) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

static DWORD WINAPI srw_wait(LPVOID) {
  AcquireSRWLockExclusive(&g_srw);
  return 0;
}

static DWORD WINAPI condition_wait(LPVOID) {
  EnterCriticalSection(&g_condition_cs);
  SleepConditionVariableCS(&g_condition, &g_condition_cs, INFINITE);
  return 0;
}

static HANDLE start(const char* name, LPTHREAD_START_ROUTINE routine) {
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, routine, nullptr, 0, &id);
  printf("thread %s %lx\n", name, id);
  return thread;
}

int main() {
  setvbuf(stdout, nullptr, _IONBF, 0);
  printf("pid %lu\n", GetCurrentProcessId());
  printf("thread main %lx\n", GetCurrentThreadId());
  InitializeCriticalSection(&g_first);
  InitializeCriticalSection(&g_second);
  InitializeCriticalSection(&g_condition_cs);
  g_event = CreateEventA(nullptr, TRUE, FALSE, "tarnholm_hang_event");
  g_mutex = CreateMutexA(nullptr, FALSE, nullptr);
  g_semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
  g_mutex_owned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_window_ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  AcquireSRWLockExclusive(&g_srw);
  printf("cs first %08lx\ncs second %08lx\ncs condition %08lx\n", (unsigned long)(ULONG_PTR)&g_first,
         (unsigned long)(ULONG_PTR)&g_second, (unsigned long)(ULONG_PTR)&g_condition_cs);
  printf("lock srw %08lx\nlock condition %08lx\n", (unsigned long)(ULONG_PTR)&g_srw,
         (unsigned long)(ULONG_PTR)&g_condition);
  printf("handle event %08lx\nhandle mutex %08lx\nhandle semaphore %08lx\n", (unsigned long)(ULONG_PTR)g_event,
         (unsigned long)(ULONG_PTR)g_mutex, (unsigned long)(ULONG_PTR)g_semaphore);

  start("deadlock_a", deadlock_a);
  start("deadlock_b", deadlock_b);
  g_event_thread = start("event", event_wait);
  start("holder", holder);
  WaitForSingleObject(g_mutex_owned, INFINITE);
  start("mutex", mutex_wait);
  start("join", join);
  start("any", any_wait);
  start("all", all_wait);
  start("sleeper", sleeper);
  start("window", window_thread);
  WaitForSingleObject(g_window_ready, INFINITE);
  printf("window %08lx\n", (unsigned long)(ULONG_PTR)g_window);
  g_sender_thread = start("sender", sender);
  start("pump", pump);
  start("srw", srw_wait);
  start("condition", condition_wait);
  while (g_in_first_sections < 2) Sleep(10);
  Sleep(1000);  // every thread into its wait
  printf("ready\n");
  Sleep(INFINITE);
  return 0;
}
