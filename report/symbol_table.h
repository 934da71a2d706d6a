// The symbol table of every module the symbol handler knows.
#pragma once

#include "session/log_file.h"

void WriteSymbolTable(CLogFile& session);
BOOL CALLBACK WriteSymbolLine(PCSTR name, ULONG address, ULONG size, PVOID session);
