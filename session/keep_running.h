// Leaving the target running after its report: instead of ending it, the session detaches.
// Used when the companion runs with --keep-running; the wizard always ends the target.
#pragma once

#include "session/log_file.h"

// Right after attaching: the target is not to end with the debugger, so that even a
// companion that dies before detaching leaves it running.
void KeepTargetAfterDebuggerEnds(CLogFile& session);

// After the report of the exception event: continue it (the breakpoint that attaching
// raised as handled, so the target never sees it; any other exception unhandled, as it
// would have been without a debugger) and detach. Every thread of the target runs on.
void ContinueAndDetach(CLogFile& session, const DEBUG_EVENT& event);
