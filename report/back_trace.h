// The code around an address and the stack back trace of a thread.
#pragma once

#include "session/log_file.h"

void WriteCodeListing(CLogFile& session, const CThreadContext& thread, uint32_t address);
void WriteBackTrace(CLogFile& session, const CThreadContext& thread);
