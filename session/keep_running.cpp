#include "session/keep_running.h"

#include "session/region_walk.h"

namespace {

constexpr uint32_t kPageSize = 0x1000;

}  // namespace

void KeepTargetAfterDebuggerEnds(CLogFile& session) {
  if (!DebugSetProcessKillOnExit(FALSE)) {
    session.Log("DebugSetProcessKillOnExit failed (%d)", static_cast<int>(GetLastError()));
    session.keepRunningFailed = true;
  }
}

GuardPages RecordGuardPages(CLogFile& session) {
  GuardPages guards;
  RegionWalk walk(session.process);
  MEMORY_BASIC_INFORMATION region;
  while (walk.Next(region)) {
    if (region.State != MEM_COMMIT || (region.Protect & PAGE_GUARD) == 0) continue;
    guards.push_back({TargetAddress(region.BaseAddress), static_cast<uint32_t>(region.RegionSize), region.Protect});
  }
  return guards;
}

void RestoreGuardPages(CLogFile& session, const GuardPages& guards) {
  uint32_t restored = 0;
  for (const GuardRange& guard : guards) {
    const uint64_t end = static_cast<uint64_t>(guard.base) + guard.size;
    for (uint64_t page = guard.base; page < end; page += kPageSize) {
      const uint32_t address = static_cast<uint32_t>(page);
      MEMORY_BASIC_INFORMATION region;
      if (QueryRegion(session.process, address, region) && (region.Protect & PAGE_GUARD) != 0) continue;
      DWORD old = 0;
      if (!VirtualProtectEx(session.process, TargetPointer(address), kPageSize, guard.protect, &old)) {
        session.Log("Can't restore the guard page at %08X (e=%d)", address, static_cast<int>(GetLastError()));
        session.keepRunningFailed = true;
        continue;
      }
      ++restored;
    }
  }
  if (restored > 0) session.Log("Guard restored on %u pages the dump's reads had touched", restored);
}

void ContinueAndDetach(CLogFile& session, const DEBUG_EVENT& event) {
  const bool attachBreakpoint = event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT;
  if (!ContinueDebugEvent(event.dwProcessId, event.dwThreadId, attachBreakpoint ? DBG_CONTINUE : DBG_EXCEPTION_NOT_HANDLED)) {
    session.Log("Can't continue process %d (e=%d)", static_cast<int>(event.dwProcessId),
                static_cast<int>(GetLastError()));
    session.keepRunningFailed = true;
  }
  if (!DebugActiveProcessStop(event.dwProcessId)) {
    session.Log("Can't detach from process %d (e=%d)", static_cast<int>(event.dwProcessId),
                static_cast<int>(GetLastError()));
    session.keepRunningFailed = true;
  }
}
