// tarnholm-cli: the headless companion of the wizard. Runs the same dump session as the
// wizard's Finish and writes each log line to stdout.
//   tarnholm-cli PID REPORT [--instructions N] [--no-symbol-table]
// Exit codes: 0 the event loop ran, 1 the report file could not be created, 2 attaching
// failed, 3 bad arguments.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <windows.h>
#include <shellapi.h>

#include "session/log_file.h"

namespace {

const char kUsage[] = "usage: tarnholm-cli PID REPORT [--instructions N] [--no-symbol-table]\n";

void WriteLine(void*, const char* line) {
  fputs(line, stdout);
  fputc('\n', stdout);
  fflush(stdout);
}

bool ParseNumber(const wchar_t* text, long low, long high, long* value) {
  wchar_t* end = nullptr;
  long parsed = wcstol(text, &end, 10);
  if (end == text || *end != 0 || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

}  // namespace

int main() {
  // The wide command line: the ANSI arguments would carry the report name with every
  // character the code page lacks replaced by a look-alike, which names another file.
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr) {
    fputs(kUsage, stderr);
    return 3;
  }
  long pid = 0;
  long instructions = 16;
  bool symbolTable = true;
  const wchar_t* report = nullptr;
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    if (wcscmp(argv[i], L"--instructions") == 0 && i + 1 < argc) {
      if (!ParseNumber(argv[++i], 16, 200, &instructions)) positional = -100;
    } else if (wcscmp(argv[i], L"--no-symbol-table") == 0) {
      symbolTable = false;
    } else if (argv[i][0] == L'-' && argv[i][1] == L'-') {
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
    LocalFree(argv);
    fputs(kUsage, stderr);
    return 3;
  }

  TextPane pane{&WriteLine, nullptr};
  CLogFile session(report, pane);
  LocalFree(argv);
  if (session.reportFile == INVALID_HANDLE_VALUE) return 1;
  session.instructionCount = static_cast<int32_t>(instructions);
  session.symbolTableEnabled = symbolTable;
  if (const char* cache = getenv("TARNHOLM_READ_CACHE")) session.SetReadCache(strcmp(cache, "0") != 0);
  bool attached = session.RunDebugLoop(static_cast<uint32_t>(pid));
  if (getenv("TARNHOLM_STATS")) fprintf(stderr, "ReadProcessMemory calls: %u\n", session.PlatformReadCount());
  return attached ? 0 : 2;
}
