// tarnholm-cli: the headless companion of the wizard, for scripts and other programs. Runs
// the same dump session as the wizard's Finish, on a process given by id or by name, or
// prints the wizard's process list. Usage in cli_args.h, exit codes below and in README.md.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "session/platform.h"  // before shellapi.h, which needs the Windows types

#include <shellapi.h>

#include "app/process_list.h"
#include "app/report_name.h"
#include "session/exit_status.h"
#include "session/log_file.h"
#include "tools/cli/cli_args.h"
#include "tools/cli/console_progress.h"
#include "tools/cli/process_match.h"

namespace {

// The exit codes of session/exit_status.h, in the companion's other uses too.
const int kDumped = kExitDumped;                      // also: --list printed the list
const int kReportNotCreated = kExitReportNotCreated;  // also: a report name that cannot be represented
const int kAttachFailed = kExitAttachFailed;          // also: the process list could not be read
const int kBadArguments = kExitBadArguments;          // also: a name that matches no process, or several


std::vector<std::wstring> WideArguments() {
  std::vector<std::wstring> args;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return args;
  for (int i = 0; i < count; ++i) args.push_back(argv[i]);
  LocalFree(argv);
  return args;
}

std::wstring WidenAnsi(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

// The text in the ANSI code page; false when some character has no exact counterpart there
// (narrow then holds a stand-in, good for messages only).
bool NarrowAnsi(const std::wstring& text, std::string& narrow) {
  narrow.clear();
  if (text.empty()) return true;
  BOOL usedDefault = FALSE;
  const int size = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return false;
  narrow.resize(static_cast<size_t>(length));
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, &narrow[0], length, nullptr, &usedDefault);
  return !usedDefault;
}

void WritePlainLine(void*, const char* line) {
  fputs(line, stdout);
  fputc('\n', stdout);
  fflush(stdout);
}

void WriteStatus(void*, const char* text) {
  fputs(text, stderr);
  fflush(stderr);
}

// The text pane at a console: region headings move the progress display on.
struct ConsoleOutput {
  ConsoleProgress progress{&WriteStatus, &WritePlainLine, nullptr};
  const CLogFile* session = nullptr;
};

void WriteThroughProgress(void* context, const char* line) {
  ConsoleOutput& output = *static_cast<ConsoleOutput*>(context);
  output.progress.OnLogLine(line, output.session ? output.session->process : nullptr);
}

bool StdoutIsConsole() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  return GetFileType(out) == FILE_TYPE_CHAR && GetConsoleMode(out, &mode);
}

int ListProcesses() {
  std::vector<ProcessRow> rows;
  if (!CollectProcessRows(rows)) {
    fprintf(stderr, "tarnholm-cli: can't list the processes (e=%d)\n", static_cast<int>(GetLastError()));
    return kAttachFailed;
  }
  fputs(ProcessListText(rows).c_str(), stdout);
  return kDumped;
}

// The one process whose program name is name; its id and program name.
int FindProcessByName(const std::wstring& name, uint32_t& processId, std::wstring& programName) {
  std::vector<ProcessRow> rows;
  if (!CollectProcessRows(rows)) {
    fprintf(stderr, "tarnholm-cli: can't list the processes (e=%d)\n", static_cast<int>(GetLastError()));
    return kAttachFailed;
  }
  const std::vector<uint32_t> ids = MatchProcessName(name, rows, &WidenAnsi);
  std::string shown;
  NarrowAnsi(name, shown);
  if (ids.empty()) {
    fprintf(stderr, "tarnholm-cli: no process named %s\n", shown.c_str());
    return kBadArguments;
  }
  if (ids.size() > 1) {
    fprintf(stderr, "tarnholm-cli: %u processes named %s, ids %s; give one id\n", static_cast<unsigned>(ids.size()),
            shown.c_str(), IdList(ids).c_str());
    return kBadArguments;
  }
  processId = ids[0];
  const std::string pidText = std::to_string(processId);
  for (const ProcessRow& row : rows) {
    if (row.pidText == pidText) programName = row.programName;
  }
  return kDumped;
}

// The wizard's default report name for the process, in the current directory.
int ChooseReportName(uint32_t processId, std::wstring programName, std::wstring& report) {
  if (programName.empty()) {
    ProcessRow row;
    if (!ReadProcessRow(processId, row)) {
      fprintf(stderr, "tarnholm-cli: can't open process %u to name its report (e=%d); give REPORT\n",
              static_cast<unsigned>(processId), static_cast<int>(GetLastError()));
      return kAttachFailed;
    }
    programName = row.programName;
  }
  SYSTEMTIME now;
  GetLocalTime(&now);
  report = DefaultReportName(programName, now, ReportDirectory());
  std::string shown;  // for the line only; the file is made under the wide name itself
  NarrowAnsi(report, shown);
  printf("Report: %s\n", shown.c_str());
  fflush(stdout);
  return kDumped;
}

}  // namespace

int main() {
  CliArguments args;
  std::string error;
  if (!ParseCliArguments(WideArguments(), args, error)) {
    fprintf(stderr, "tarnholm-cli: %s\n%s", error.c_str(), kCliUsage);
    return kBadArguments;
  }
  if (args.list) return ListProcesses();

  uint32_t processId = args.processId;
  std::wstring programName;
  if (args.byName) {
    const int found = FindProcessByName(args.processName, processId, programName);
    if (found != kDumped) return found;
  }
  std::wstring report;
  if (args.reportGiven) {
    report = args.reportName;
  } else {
    const int chosen = ChooseReportName(processId, programName, report);
    if (chosen != kDumped) return chosen;
  }

  ConsoleOutput console;
  TextPane pane = StdoutIsConsole() ? TextPane{&WriteThroughProgress, &console} : TextPane{&WritePlainLine, nullptr};
  CLogFile session(report.c_str(), pane);
  console.session = &session;
  if (session.reportFile == INVALID_HANDLE_VALUE) return kReportNotCreated;
  session.instructionCount = args.instructionCount;
  session.symbolTableEnabled = args.symbolTable;
  session.memoryDumpEnabled = args.memoryDump;
  session.keepRunning = args.keepRunning;
  session.minidump = args.minidump;
  if (args.minidump != MinidumpKind::kNone) console.progress.CountMinidump();
  if (const char* cache = getenv("TARNHOLM_READ_CACHE")) session.SetReadCache(strcmp(cache, "0") != 0);
  const bool attached = session.RunDebugLoop(processId);
  console.progress.Finish();
  if (getenv("TARNHOLM_STATS")) fprintf(stderr, "ReadProcessMemory calls: %u\n", session.PlatformReadCount());
  return DumpExitStatus(session, attached);
}
