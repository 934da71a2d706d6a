// The report driver: header, module list, one section per thread, the whole-process
// sections, then the end of the target.
#pragma once

#include "session/log_file.h"

void WriteReport(CLogFile& session, const EXCEPTION_DEBUG_INFO& exception);
void ReadThreadContext(CThreadContext& thread);
DWORD WINAPI TerminateTarget(LPVOID session);
