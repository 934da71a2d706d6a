// Leaving the target running after its report: instead of ending it, the session detaches.
// Used when the companion runs with --keep-running; the wizard always ends the target.
// The target is to go on as it was, so every step that could leave it otherwise is checked:
// a failure is a line and marks the session (keepRunningFailed).
#pragma once

#include <stdint.h>

#include <vector>

#include "session/log_file.h"

// Right after attaching: the target is not to end with the debugger, so that even a
// companion that dies before detaching leaves it running.
void KeepTargetAfterDebuggerEnds(CLogFile& session);

// The stretches of the target's memory that are guard pages while it is stopped, before the
// report. On Windows a read by another process that touches a guard page fails once and
// clears that page's guard; the stack dumps and the region dump touch the guard page below
// every thread's stack, and a thread that later grows its stack into a page without its guard
// gets an access violation instead of more stack.
struct GuardRange {
  uint32_t base;
  uint32_t size;
  DWORD protect;  // with PAGE_GUARD
};
typedef std::vector<GuardRange> GuardPages;

GuardPages RecordGuardPages(CLogFile& session);

// After the report: every page of the recorded ranges that lost its guard gets its
// protection back with VirtualProtectEx. One line tells how many pages were restored.
void RestoreGuardPages(CLogFile& session, const GuardPages& guards);

// After the report of the exception event: continue it (the breakpoint that attaching
// raised as handled, so the target never sees it; any other exception unhandled, as it
// would have been without a debugger) and detach. Every thread of the target runs on.
void ContinueAndDetach(CLogFile& session, const DEBUG_EVENT& event);
