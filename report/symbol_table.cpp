#include "report/symbol_table.h"

void WriteSymbolTable(CLogFile&) {}
BOOL CALLBACK WriteSymbolLine(PCSTR, ULONG, ULONG, PVOID) { return TRUE; }
