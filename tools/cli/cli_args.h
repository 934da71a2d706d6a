// The companion's command line, as CommandLineToArgvW gives it (the program's name first):
//   tarnholm-cli [options] PID|NAME [REPORT]   (options: --instructions N, --no-symbol-table,
//                --no-memory-dump, --keep-running, --minidump[=normal|full])
//   tarnholm-cli --on-crash [options] PID|NAME [REPORT]   (the report at the first unhandled exception)
//   tarnholm-cli --launch [options] PROGRAM [ARGS...]    (starts PROGRAM; the report as --on-crash)
//                (crash options: --first-chance, --report=FILE or --report FILE; --keep-running is refused)
//   tarnholm-cli --install-postmortem [--report-dir=DIR] [options] | --uninstall-postmortem
//   tarnholm-cli --postmortem PID EVENT [--report-dir=DIR] [options]   (what the system runs at a crash)
//   tarnholm-cli --list | --help | --version
// Every argument that begins with "-" or "/" is an option, wherever it stands, until an
// argument "--", after which every argument is a PID, NAME or REPORT (a report named "-k" or
// a Unix-style path such as /tmp/r.txt is given after "--"). A target of decimal digits only is a
// process id; anything else that could be a file name is a program name, matched against the
// captions of the process list.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "session/dump_options.h"

extern const char kCliUsage[];
extern const char kCliVersion[];

inline DumpOptions CliDefaults() {
  DumpOptions options;
  options.instructionCount = 16;
  return options;
}

struct CliArguments {
  bool help = false;              // -h, --help, /?: print the usage to stdout, dump nothing
  bool version = false;           // --version: print the version, dump nothing
  bool list = false;              // --list: print the process list, dump nothing
  bool byName = false;            // the target was given as a program name
  uint32_t processId = 0;         // when !byName; never 0
  std::wstring processName;       // when byName
  bool reportGiven = false;       // false: the default report name in the current directory
  std::wstring reportName;        // as given, possibly empty
  // --instructions (16 to 200, 16 by default), --no-symbol-table, --no-memory-dump,
  // --keep-running, --minidump (normal), --minidump=normal|full
  DumpOptions dump = CliDefaults();
  bool onCrash = false;           // --on-crash: attach, and report at the crash
  bool launch = false;            // --launch: start program, and report at its crash
  bool firstChance = false;       // --first-chance: report at the first error exception
  std::wstring program;           // when launch: PROGRAM as given
  std::vector<std::wstring> programArguments;  // when launch: everything after PROGRAM, untouched
  bool installPostmortem = false;    // --install-postmortem: register as the system's crash debugger
  bool uninstallPostmortem = false;  // --uninstall-postmortem: give the system its own back
  bool postmortem = false;           // --postmortem PID EVENT: what the system runs at a crash
  uint32_t eventHandle = 0;          // when postmortem: the inherited event, as %ld gave it
  bool reportDirGiven = false;       // --report-dir=DIR or --report-dir DIR
  std::wstring reportDir;
};

// The command the system runs at a crash: the companion, the dump options and report
// directory given to the install, and "--postmortem %ld %ld" for the process id and event.
std::wstring PostmortemCommand(const std::wstring& companion, const CliArguments& install);

// False with a one-line reason (no line end) for arguments the companion cannot run with.
// Nothing is looked up or created here: every refusal comes before any file or process is
// touched.
// The command line that gives argv to a program that splits it as CommandLineToArgvW does:
// each argument quoted where it needs to be, backslashes before a quote doubled.
std::wstring QuotedCommandLine(const std::vector<std::wstring>& argv);

bool ParseCliArguments(const std::vector<std::wstring>& argv, CliArguments& parsed, std::string& error);
