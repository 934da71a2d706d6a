// The steps of one dump as they end, for whoever watches its progress (the companion's
// phase times). A typed event rather than text in the log, so that no watcher has to
// recognise a report heading.
#pragma once

enum class DumpPhase {
  kAttaching,              // just before the attach
  kSymbolHandlerStarting,  // the process-creation event is in; the handler starts
  kSymbolHandlerStarted,
  kReportStarting,         // the event that triggers the report
  kThreadsWritten,         // every thread section is in the report
  kSymbolTableWritten,     // the symbol table, or where it would have been
  kMemoryDumped,           // the committed regions, or where they would have been
  kMinidumpWritten,        // the minidump, or where it would have been
  kReportWritten,          // the report is complete; ending or detaching follows
};

struct DumpPhaseSink {
  void (*onPhase)(void* context, DumpPhase phase) = nullptr;
  void* context = nullptr;
};
