// What a dump is asked to do, as the wizard or the companion fills it in before the loop runs.
#pragma once

#include <stdint.h>

#include "session/minidump_kind.h"
#include "session/platform.h"

// Which exception event the report is written at.
enum class ReportMoment {
  kFirstException,    // the first of any kind: for an attach, the breakpoint attaching raises
  kUnhandled,         // the first second chance; the attach breakpoint and every first chance go on
  kFirstChanceError,  // the first of error severity (0xC... and 0xE...), first or second chance
};

struct DumpOptions {
  bool symbolTableEnabled = true;  // the symbol table section
  bool memoryDumpEnabled = true;   // the committed memory lines and their region files
  int32_t instructionCount = 200;  // instructions before and after a thread's instruction pointer
  bool keepRunning = false;        // after the first report, detach and let the target run on
  MinidumpKind minidump = MinidumpKind::kNone;  // with the first report, also REPORT.dmp
  ReportMoment reportAt = ReportMoment::kFirstException;
  // Signalled once the attach events are taken (at the attach breakpoint), for whoever
  // waits until the target has its debugger; not owned.
  HANDLE attachedEvent = nullptr;
};
