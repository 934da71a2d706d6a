#include "report/memory_dump.h"

void DumpCommittedMemory(CLogFile&) {}
