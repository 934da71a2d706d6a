#include "session/end_target.h"

#include "session/log_file.h"

namespace {

constexpr SIZE_T kTerminatorStackSize = 16000;
constexpr DWORD kTerminatorWaitMs = 30000;

}  // namespace

DWORD WINAPI TerminateTarget(LPVOID parameter) {
  const CLogFile& session = *static_cast<const CLogFile*>(parameter);
  HANDLE target = OpenProcess(PROCESS_TERMINATE, FALSE, session.processId);
  if (target != nullptr) {
    TerminateProcess(target, 0);
    CloseHandle(target);
  }
  return 0;
}

void EndTarget(const CLogFile& session) {
  HANDLE worker = CreateThread(nullptr, kTerminatorStackSize, TerminateTarget, const_cast<CLogFile*>(&session), 0,
                               nullptr);
  if (worker != nullptr) {
    WaitForSingleObject(worker, kTerminatorWaitMs);
    CloseHandle(worker);
  }
}
