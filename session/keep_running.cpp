#include "session/keep_running.h"

namespace {

constexpr uint32_t kPageSize = 0x1000;

// The region record at address; false when the query fails.
bool QueryRegion(CLogFile& session, uint32_t address, MEMORY_BASIC_INFORMATION& region) {
  return VirtualQueryEx(session.process, TargetPointer(address), &region, sizeof region) == sizeof region;
}

}  // namespace

void KeepTargetAfterDebuggerEnds(CLogFile& session) {
  if (!DebugSetProcessKillOnExit(FALSE)) {
    session.Log("DebugSetProcessKillOnExit failed (%d)", static_cast<int>(GetLastError()));
    session.keepRunningFailed = true;
  }
}

GuardPages RecordGuardPages(CLogFile& session) {
  GuardPages guards;
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const uint32_t end = TargetAddress(system.lpMaximumApplicationAddress);
  for (uint32_t address = 0; address < end;) {
    MEMORY_BASIC_INFORMATION region;
    if (!QueryRegion(session, address, region)) break;  // nothing further can be read either
    const uint32_t base = TargetAddress(region.BaseAddress);
    const uint32_t size = static_cast<uint32_t>(region.RegionSize);
    if (region.State == MEM_COMMIT && (region.Protect & PAGE_GUARD) != 0) guards.push_back({base, size, region.Protect});
    if (size == 0 || base + size <= address) break;  // a record that would not move the walk on
    address = base + size;
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
      if (QueryRegion(session, address, region) && (region.Protect & PAGE_GUARD) != 0) continue;
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
