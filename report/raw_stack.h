// Hex dumps of a thread's stack below and above its stack pointer.
#pragma once

#include "session/report_context.h"

void WriteRawStack(const ReportContext& context, const CThreadContext& thread);
void DumpStackRange(const ReportContext& context, uint32_t address, uint32_t size, bool halve);
