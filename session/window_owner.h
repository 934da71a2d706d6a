// The thread (and process) that made a window of the target, for a thread that waits in
// SendMessage; and a thread's suspend count, which the debugger's stop leaves alone.
#pragma once

#include <stdint.h>

#include "session/platform.h"

// False when the value names no window.
bool WindowOwner(uint32_t window, uint32_t* threadId, uint32_t* processId);

// The count before this call (SuspendThread, then ResumeThread to leave it as it was).
// False when the thread cannot be suspended (it has exited, or the handle lacks the right).
bool SuspendCount(HANDLE thread, uint32_t* count);
