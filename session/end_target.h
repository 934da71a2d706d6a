// Ending the target once its report is written: whoever runs the debug loop does it, so the
// report writer only writes.
#pragma once

#include "session/platform.h"

class CLogFile;

// Terminates the target from a worker thread of its own (16000-byte stack) and waits for it
// at most 30 s. The exit-process event that follows ends the debug loop.
void EndTarget(const CLogFile& session);
// The worker: opens the session's process id for termination and ends it with code 0.
DWORD WINAPI TerminateTarget(LPVOID session);
