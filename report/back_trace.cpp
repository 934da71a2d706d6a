#include "report/back_trace.h"

void WriteCodeListing(CLogFile&, const CThreadContext&, uint32_t) {}
void WriteBackTrace(CLogFile&, const CThreadContext&) {}
