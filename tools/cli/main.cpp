// tarnholm-cli: the headless companion of the wizard. Runs the same dump session as the
// wizard's Finish and writes each log line to stdout.
//   tarnholm-cli PID REPORT [--instructions N] [--no-symbol-table]
// Exit codes (session/exit_status.h): 0 the report and every region file written in full,
// 1 the report file could not be created, 2 attaching failed, 3 bad arguments, 4 a report or
// region-file write failed, 5 the debug-event wait timed out before any report, 6 the
// target exited before the report.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "session/exit_status.h"
#include "session/log_file.h"

namespace {

const char kUsage[] = "usage: tarnholm-cli PID REPORT [--instructions N] [--no-symbol-table]\n";

void WriteLine(void*, const char* line) {
  fputs(line, stdout);
  fputc('\n', stdout);
  fflush(stdout);
}

bool ParseNumber(const char* text, long low, long high, long* value) {
  char* end = nullptr;
  long parsed = strtol(text, &end, 10);
  if (end == text || *end != 0 || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long pid = 0;
  long instructions = 16;
  bool symbolTable = true;
  const char* report = nullptr;
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--instructions") == 0 && i + 1 < argc) {
      if (!ParseNumber(argv[++i], 16, 200, &instructions)) positional = -100;
    } else if (strcmp(argv[i], "--no-symbol-table") == 0) {
      symbolTable = false;
    } else if (argv[i][0] == '-' && argv[i][1] == '-') {
      positional = -100;
    } else if (positional == 0) {
      if (!ParseNumber(argv[i], 0, 0x7FFFFFFFL, &pid)) positional = -100;
      ++positional;
    } else if (positional == 1) {
      report = argv[i];
      ++positional;
    } else {
      positional = -100;
    }
  }
  if (positional != 2) {
    fputs(kUsage, stderr);
    return 3;
  }

  TextPane pane{&WriteLine, nullptr};
  CLogFile session(report, pane);
  if (session.reportFile == INVALID_HANDLE_VALUE) return 1;
  session.instructionCount = static_cast<int32_t>(instructions);
  session.symbolTableEnabled = symbolTable;
  if (const char* cache = getenv("TARNHOLM_READ_CACHE")) session.SetReadCache(strcmp(cache, "0") != 0);
  bool attached = session.RunDebugLoop(static_cast<uint32_t>(pid));
  if (getenv("TARNHOLM_STATS")) fprintf(stderr, "ReadProcessMemory calls: %u\n", session.PlatformReadCount());
  return DumpExitStatus(session, attached);
}
