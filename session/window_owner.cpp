#include "session/window_owner.h"

namespace {

typedef DWORD(WINAPI* WindowThreadFunction)(HWND, LPDWORD);
constexpr DWORD kSuspendFailed = 0xFFFFFFFF;

// The tool's companion links no window library, so user32 is found at run time.
WindowThreadFunction WindowThread() {
#ifdef _WIN32
  static HMODULE user32 = LoadLibraryA("user32.dll");
  return user32 != nullptr ? reinterpret_cast<WindowThreadFunction>(GetProcAddress(user32, "GetWindowThreadProcessId"))
                           : nullptr;
#else
  return &GetWindowThreadProcessId;
#endif
}

}  // namespace

bool WindowOwner(uint32_t window, uint32_t* threadId, uint32_t* processId) {
  WindowThreadFunction query = WindowThread();
  if (query == nullptr || window == 0) return false;
  DWORD process = 0;
  const DWORD thread = query(static_cast<HWND>(TargetPointer(window)), &process);
  if (thread == 0) return false;
  *threadId = thread;
  *processId = process;
  return true;
}

bool SuspendCount(HANDLE thread, uint32_t* count) {
  const DWORD before = SuspendThread(thread);
  if (before == kSuspendFailed) return false;
  ResumeThread(thread);
  *count = before;
  return true;
}
