// The steps of one dump as they end, for whoever watches its progress (the companion's
// phase times and its progress display). Typed events rather than text in the log, so that
// no watcher has to recognise a report heading.
#pragma once

#include <stdint.h>

enum class DumpPhase {
  kAttaching,              // just before the attach
  kSymbolHandlerStarting,  // the process-creation event is in; the handler starts
  kSymbolHandlerStarted,
  kReportStarting,         // the event that triggers the report
  kThreadsWritten,         // every thread section is in the report
  kSymbolTableWritten,     // the symbol table, or where it would have been
  kMemoryDumped,           // the committed regions, or where they would have been
  kMinidumpStarting,       // the minidump writer starts; the session's line saying so is next
  kMinidumpWritten,        // the minidump, or where it would have been
  kReportWritten,          // the report is complete; ending or detaching follows
};

struct DumpPhaseSink {
  void (*onPhase)(void* context, DumpPhase phase) = nullptr;
  void* context = nullptr;
  // A committed region of the memory dump is next: its heading line, then its bytes.
  void (*onRegion)(void* context, uint32_t base, uint32_t size) = nullptr;
};
