// The symbol table of every module the symbol handler knows.
#pragma once

#include "session/report_context.h"

void WriteSymbolTable(const ReportContext& context);
// The enumeration callback: one line into the CReportOutput that report points to.
BOOL CALLBACK WriteSymbolLine(PCSTR name, ULONG address, ULONG size, PVOID report);
