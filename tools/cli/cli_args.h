// The companion's command line, as CommandLineToArgvW gives it (the program's name first):
//   tarnholm-cli PID|NAME [REPORT] [--instructions N] [--no-symbol-table] [--no-memory-dump]
//                [--keep-running] [--minidump[=normal|full]]
//   tarnholm-cli --list
// Options may stand anywhere. A target of decimal digits only is a process id; anything else
// is a program name, matched against the captions of the process list.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "session/minidump_kind.h"

extern const char kCliUsage[];

struct CliArguments {
  bool list = false;              // --list: print the process list, dump nothing
  bool byName = false;            // the target was given as a program name
  uint32_t processId = 0;         // when !byName
  std::wstring processName;       // when byName
  bool reportGiven = false;       // false: the wizard's default name in the current directory
  std::wstring reportName;        // as given, possibly empty
  int32_t instructionCount = 16;  // --instructions, 16 to 200
  bool symbolTable = true;        // --no-symbol-table clears it
  bool memoryDump = true;         // --no-memory-dump clears it
  bool keepRunning = false;       // --keep-running
  MinidumpKind minidump = MinidumpKind::kNone;  // --minidump (normal), --minidump=normal|full
};

// False with a one-line reason (no line end) for arguments the companion cannot run with.
bool ParseCliArguments(const std::vector<std::wstring>& argv, CliArguments& parsed, std::string& error);
