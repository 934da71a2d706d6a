// tarnholm-cli: the headless companion of the wizard, for scripts and other programs. Runs
// the same dump session as the wizard's Finish, on a process given by id or by name, or
// prints the process list. Usage in cli_args.h, exit codes in session/exit_status.h and README.md.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "session/platform.h"  // before shellapi.h, which needs the Windows types

#include <shellapi.h>
#include <shlobj.h>

#include "app/process_list.h"
#include "app/report_name.h"
#include "report/report.h"
#include "session/ansi_text.h"
#include "session/debug_privilege.h"
#include "session/exit_status.h"
#include "session/log_file.h"
#include "tools/cli/cli_args.h"
#include "tools/cli/console_progress.h"
#include "tools/cli/phase_times.h"
#include "tools/cli/postmortem_registry.h"
#include "tools/cli/process_match.h"
#include "tools/cli/target_lookup.h"

namespace {

// The exit codes of session/exit_status.h, in the companion's other uses too.
const int kDumped = kExitDumped;                      // also: --list, --help, --version
const int kAttachFailed = kExitAttachFailed;          // also: the process list could not be read, or
                                                      // the process could not be opened
const int kBadArguments = kExitBadArguments;          // a usage error

std::vector<std::wstring> WideArguments() {
  std::vector<std::wstring> args;
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return args;
  for (int i = 0; i < count; ++i) args.push_back(argv[i]);
  LocalFree(argv);
  return args;
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

// The text pane with the progress display on stderr.
void WriteThroughProgress(void* context, const char* line) { static_cast<ConsoleProgress*>(context)->OnLogLine(line); }

double SecondsNow() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Who watches the dump's progress events: the phase times under TARNHOLM_STATS, the display
// at a console; either may be absent.
struct DumpWatchers {
  PhaseTimes* phases = nullptr;
  ConsoleProgress* progress = nullptr;
  const CLogFile* session = nullptr;

  static void OnPhase(void* context, DumpPhase phase) {
    const DumpWatchers& self = *static_cast<DumpWatchers*>(context);
    if (self.phases != nullptr) self.phases->Note(phase, SecondsNow());
    if (self.progress != nullptr && phase == DumpPhase::kMinidumpStarting) self.progress->OnMinidumpStarting();
  }
  static void OnRegion(void* context, uint32_t base, uint32_t size) {
    const DumpWatchers& self = *static_cast<DumpWatchers*>(context);
    if (self.progress != nullptr) self.progress->OnRegion(base, size, self.session->process);
  }
};

bool IsConsole(DWORD standardHandle) {
  HANDLE handle = GetStdHandle(standardHandle);
  DWORD mode = 0;
  return GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode);
}

bool FileExists(const std::wstring& name) { return GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

int ListProcesses() {
  std::vector<ProcessRow> rows;
  if (!CollectProcessRows(rows, true)) {
    fprintf(stderr, "tarnholm-cli: can't list the processes (e=%d)\n", static_cast<int>(GetLastError()));
    return kAttachFailed;
  }
  fputs(ProcessListText(rows).c_str(), stdout);
  return kDumped;
}

// The default report name for the process, in the current directory, numbered when a file
// of that name is already there.
int ChooseReportName(uint32_t processId, std::wstring programName, std::wstring& report,
                     const std::wstring& directory = ReportDirectory()) {
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
  const std::wstring proposed = DefaultReportName(programName, processId, now, directory);
  report = FreeReportName(proposed, &FileExists);
  if (report.empty()) {
    fprintf(stderr, "tarnholm-cli: %s and its numbered forms are all taken; give REPORT\n",
            AnsiForDisplay(proposed).c_str());
    return kExitReportNotCreated;
  }
  // For the line only; the file is made under the wide name itself.
  printf("Report: %s\n", AnsiForDisplay(report).c_str());
  fflush(stdout);
  return kDumped;
}

// The platform's text for an error code, without its line end.
std::string ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide = length != 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' ')) wide.pop_back();
  return AnsiForDisplay(wide);
}

int RefuseProgram(const std::wstring& program, DWORD error) {
  fprintf(stderr, "tarnholm-cli: can't start %s: %s (e=%u)\n", AnsiForDisplay(program).c_str(), ErrorText(error).c_str(),
          static_cast<unsigned>(error));
  return kAttachFailed;
}

// The program's file as CreateProcess would find it, and only a 32-bit image: a 64-bit one
// would start, but cannot be debugged from here.
int FindProgram(const std::wstring& program, std::wstring& path) {
  wchar_t found[MAX_PATH * 4];
  const DWORD length = SearchPathW(nullptr, program.c_str(), L".exe", sizeof found / sizeof found[0], found, nullptr);
  if (length == 0 || length >= sizeof found / sizeof found[0]) return RefuseProgram(program, ERROR_FILE_NOT_FOUND);
  path.assign(found, length);
  DWORD kind = 0;
  if (!GetBinaryTypeW(path.c_str(), &kind) || kind != SCS_32BIT_BINARY) return RefuseProgram(program, ERROR_BAD_EXE_FORMAT);
  return kDumped;
}

std::wstring ProgramName(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// --install-postmortem and --uninstall-postmortem: lines of what was done, or the refusal.
int ChangePostmortem(const CliArguments& args) {
  PostmortemOutcome outcome;
  if (args.installPostmortem) {
    wchar_t self[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, self, sizeof self / sizeof self[0]);
    CliArguments install = args;
    if (install.reportDirGiven) {
      // The system runs the command from a folder of its own choosing.
      wchar_t full[MAX_PATH * 4];
      const DWORD fullLength = GetFullPathNameW(args.reportDir.c_str(), sizeof full / sizeof full[0], full, nullptr);
      if (fullLength != 0 && fullLength < sizeof full / sizeof full[0]) install.reportDir.assign(full, fullLength);
    }
    outcome = InstallPostmortem(PostmortemCommand(std::wstring(self, length), install));
  } else {
    outcome = UninstallPostmortem();
  }
  for (const std::string& line : outcome.lines) printf("%s\n", line.c_str());
  if (!outcome.done) {
    fprintf(stderr, "tarnholm-cli: %s\n", outcome.error.c_str());
    return kExitReportNotCreated;
  }
  return kDumped;
}

// Where a postmortem report goes: the given folder, or Tarnholm\Crashes under the local
// application data folder; made as needed, every level of it.
std::wstring CrashDirectory(const CliArguments& args) {
  std::wstring directory = args.reportDir;
  if (!args.reportDirGiven) {
    wchar_t local[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, local) != S_OK) {
      fprintf(stderr, "tarnholm-cli: can't find the local application data folder; the report goes to the current one\n");
      return ReportDirectory();
    }
    directory = std::wstring(local) + L"\\Tarnholm\\Crashes";
  }
  for (size_t end = directory.find_first_of(L"\\/", 3); ; end = directory.find_first_of(L"\\/", end + 1)) {
    CreateDirectoryW(directory.substr(0, end).c_str(), nullptr);
    if (end == std::wstring::npos) break;
  }
  return directory;
}

// What a dump is of: the process (0 until a started program has one), its program's name and
// path, and the report's name (empty until known).
struct DumpTarget {
  uint32_t processId = 0;
  std::wstring programName;
  std::wstring programPath;
  std::wstring report;
};

// The program to start, or the process to attach to, and the report's name where it is known
// before the dump: kDumped, or the exit status of the refusal, after its line.
int ChooseTarget(const CliArguments& args, DumpTarget& target) {
  if (args.launch) {
    const int found = FindProgram(args.program, target.programPath);
    if (found != kDumped) return found;
    target.programName = ProgramName(target.programPath);
  } else if (args.postmortem) {
    target.processId = args.processId;
  } else {
    std::string error;
    const int found = LookUpTarget(args, target.processId, target.programName, error);
    if (found != kDumped) {
      fprintf(stderr, "tarnholm-cli: %s\n", error.c_str());
      return found;
    }
  }
  if (args.reportGiven) {
    target.report = args.reportName;
  } else if (args.postmortem) {
    return ChooseReportName(target.processId, target.programName, target.report, CrashDirectory(args));
  } else if (!args.launch) {
    return ChooseReportName(target.processId, target.programName, target.report);
  }
  return kDumped;
}

// Starts the program as the debuggee and runs its loop; the default report name, which holds
// the process id, is chosen once it has one. *attached: the loop ran.
int RunLaunched(const CliArguments& args, DumpTarget& target, CLogFile& session, bool* attached) {
  std::vector<std::wstring> argv(1, args.program);
  argv.insert(argv.end(), args.programArguments.begin(), args.programArguments.end());
  DWORD launchError = 0;
  if (!session.LaunchProcess(target.programPath, QuotedCommandLine(argv), &launchError)) {
    return RefuseProgram(args.program, launchError);
  }
  // A refusal leaves the program to end with its debugger.
  if (!args.reportGiven) {
    const int chosen = ChooseReportName(session.processId, target.programName, target.report);
    if (chosen != kDumped) return chosen;
    session.RenameReport(target.report);
  }
  *attached = session.RunLaunchedDebugLoop();
  return kDumped;
}

int Dump(const CliArguments& args, DumpTarget& target) {
  // The progress display belongs to a person at the console of stderr; the region lines
  // still reach a stdout that is a file or a pipe.
  ConsoleProgress display{&WriteStatus, &WritePlainLine, nullptr};
  const bool progress = IsConsole(STD_ERROR_HANDLE);
  display.KeepRegionLines(!IsConsole(STD_OUTPUT_HANDLE));
  TextPane pane = progress ? TextPane{&WriteThroughProgress, &display} : TextPane{&WritePlainLine, nullptr};
  // Created only once the attach has succeeded; a default name never replaces a file.
  CLogFile session(target.report.c_str(), pane,
                   args.reportGiven ? ReportCreation::kAfterAttach : ReportCreation::kAfterAttachNew);
  session.options = args.dump;
  // The system waits on its event until the crashed program has its debugger.
  if (args.postmortem) session.options.attachedEvent = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(args.eventHandle));
  if (args.dump.minidump != MinidumpKind::kNone) display.CountMinidump();
  if (const char* cache = getenv("TARNHOLM_READ_CACHE")) session.memory.SetCache(strcmp(cache, "0") != 0);
  const bool stats = getenv("TARNHOLM_STATS") != nullptr;
  PhaseTimes phases;
  DumpWatchers watchers{stats ? &phases : nullptr, progress ? &display : nullptr, &session};
  session.phaseSink = DumpPhaseSink{&DumpWatchers::OnPhase, &watchers, &DumpWatchers::OnRegion};
  session.AddListener(ReportListener());
  bool attached = false;
  if (args.launch) {
    const int launched = RunLaunched(args, target, session, &attached);
    if (launched != kDumped) return launched;
  } else {
    attached = session.RunDebugLoop(target.processId);
  }
  phases.Finish(SecondsNow());
  display.Finish();
  if (stats) {
    fprintf(stderr, "ReadProcessMemory calls: %u\n", session.memory.PlatformReadCount());
    fputs(phases.Text().c_str(), stderr);
  }
  return DumpExitStatus(session, attached);
}

}  // namespace

int main() {
  CliArguments args;
  std::string error;
  if (!ParseCliArguments(WideArguments(), args, error)) {
    fprintf(stderr, "tarnholm-cli: %s\n%s", error.c_str(), kCliUsage);
    return kBadArguments;
  }
  if (args.help) {
    fputs(kCliUsage, stdout);
    return kDumped;
  }
  if (args.version) {
    fputs(kCliVersion, stdout);
    return kDumped;
  }
  // Before any process is opened, so that the list and the look-ups see every process an
  // administrator may debug. A failure is said again by the attach, which then stops.
  EnableDebugPrivilege();
  if (args.list) return ListProcesses();
  if (args.installPostmortem || args.uninstallPostmortem) return ChangePostmortem(args);
  DumpTarget target;
  const int chosen = ChooseTarget(args, target);
  return chosen != kDumped ? chosen : Dump(args, target);
}
