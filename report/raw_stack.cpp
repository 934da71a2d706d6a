#include "report/raw_stack.h"

void WriteRawStack(CLogFile&, const CThreadContext&) {}
void DumpStackRange(CLogFile&, uint32_t, uint32_t, bool) {}
