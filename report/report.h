// The report driver: header, module list, the exception of a crash, one section per thread
// and the whole-process sections. Ending the target is the debug loop's.
#pragma once

#include "session/log_file.h"

void WriteReport(CLogFile& session, const EXCEPTION_DEBUG_INFO& exception);
// The report as a listener of the debug loop: every exception event it hands on gets one.
DebugEventListener ReportListener();
// A context that cannot be read is logged, and leaves the copies of Eip, Ebp and Esp at 0.
void ReadThreadContext(CReportOutput& report, CThreadContext& thread);
