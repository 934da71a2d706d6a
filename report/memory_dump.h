// One report line and one file per committed region of the target.
#pragma once

#include "session/report_context.h"

void DumpCommittedMemory(const ReportContext& context);
