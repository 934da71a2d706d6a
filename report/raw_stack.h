// Hex dumps of a thread's stack below and above its stack pointer.
#pragma once

#include "session/log_file.h"

void WriteRawStack(CLogFile& session, const CThreadContext& thread);
void DumpStackRange(CLogFile& session, uint32_t address, uint32_t size, bool halve);
