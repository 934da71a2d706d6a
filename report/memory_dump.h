// One report line and one file per committed region of the target.
#pragma once

#include "session/log_file.h"

void DumpCommittedMemory(CLogFile& session);
