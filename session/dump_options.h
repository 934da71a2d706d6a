// What a dump is asked to do, as the wizard or the companion fills it in before the loop runs.
#pragma once

#include <stdint.h>

#include "session/minidump_kind.h"

struct DumpOptions {
  bool symbolTableEnabled = true;  // the symbol table section
  bool memoryDumpEnabled = true;   // the committed memory lines and their region files
  int32_t instructionCount = 200;  // instructions before and after a thread's instruction pointer
  bool keepRunning = false;        // after the first report, detach and let the target run on
  MinidumpKind minidump = MinidumpKind::kNone;  // with the first report, also REPORT.dmp
};
