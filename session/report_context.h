// What a section of the report works with: the output it writes to, the stopped target it
// reads, and the options of the dump. The session hands these on, never itself.
#pragma once

#include "session/dump_options.h"
#include "session/report_output.h"
#include "session/target.h"

struct ReportContext {
  CReportOutput& report;
  const CTarget& target;
  const DumpOptions& options;
};
