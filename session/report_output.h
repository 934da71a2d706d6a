// Where a report goes: its text into the report file, its progress and failure lines into
// the text pane, its region files beside it, and what went wrong on the way, for the exit
// status. The report's sections write through this and nothing else of the session.
#pragma once

#include <stdint.h>

#include <string>

#include "session/dump_phase.h"
#include "session/platform.h"
#include "session/text_pane.h"

#if defined(__GNUC__)
#define TARNHOLM_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TARNHOLM_PRINTF(fmt, args)
#endif

class CReportOutput {
 public:
  explicit CReportOutput(TextPane& pane) : textPane(pane) {}
  CReportOutput(const CReportOutput&) = delete;
  CReportOutput& operator=(const CReportOutput&) = delete;

  TextPane& textPane;
  std::string reportPath;    // the report name in the ANSI code page, for the lines of the text pane
  std::wstring reportPathW;  // the report name exactly as given; the report and region files are opened by it
  HANDLE reportFile = INVALID_HANDLE_VALUE;

  // Report text is kept in memory and written in large pieces (one write per line was a
  // good share of a report's time); it reaches the file at the latest when the report is
  // complete, before every region file and when the session closes.
  void Print(const char* format, ...) TARNHOLM_PRINTF(2, 3);
  void FlushReportText();
  void Log(const char* format, ...) TARNHOLM_PRINTF(2, 3);

  // Creates the file for the committed region at base: the report name, ".", the base in
  // eight upper-case hex digits, ".bin". Logs why when it cannot, and then returns
  // INVALID_HANDLE_VALUE.
  HANDLE CreateRegionFile(uint32_t base);

  uint32_t failedWrites = 0;  // report writes and region files not written in full
  void NoteFailedWrite() { ++failedWrites; }
  bool memoryWalkCut = false;  // the memory walk ended early on a failed query
  void NoteMemoryWalkCut() { memoryWalkCut = true; }

  // Told of each step of the dump as it ends; nobody by default.
  DumpPhaseSink phaseSink;
  void NotePhase(DumpPhase phase) {
    if (phaseSink.onPhase != nullptr) phaseSink.onPhase(phaseSink.context, phase);
  }
  void NoteRegion(uint32_t base, uint32_t size) {
    if (phaseSink.onRegion != nullptr) phaseSink.onRegion(phaseSink.context, base, size);
  }

 private:
  void WriteReportText(const char* text, size_t length);

  bool writeFailureLogged = false;
  std::string pendingText;  // printed, not yet written
};
