#include "tools/cli/cli_args.h"

const char kCliUsage[] =
    "usage: tarnholm-cli [--instructions N] [--no-symbol-table] [--no-memory-dump] [--keep-running]\n"
    "                    [--minidump[=normal|full]] [--] PID|NAME [REPORT]\n"
    "       tarnholm-cli --on-crash [--first-chance] [OPTIONS] PID|NAME [REPORT]\n"
    "       tarnholm-cli --launch [--first-chance] [--report=FILE] [OPTIONS] PROGRAM [ARGS...]\n"
    "       tarnholm-cli --install-postmortem [--report-dir=DIR] [OPTIONS] | --uninstall-postmortem\n"
    "       tarnholm-cli --postmortem PID EVENT [--report-dir=DIR] [OPTIONS]   (run by the system)\n"
    "       tarnholm-cli --list\n"
    "       tarnholm-cli --help | -h | /?\n"
    "       tarnholm-cli --version\n"
    "Every argument that begins with - or / is an option; after -- none is.\n";

const char kCliVersion[] = "tarnholm-cli 1.1\n";

namespace {

constexpr int32_t kFewestInstructions = 16;
constexpr int32_t kMostInstructions = 200;
constexpr uint32_t kLargestProcessId = 0xFFFFFFFFu;

// Decimal digits only, no sign, no blanks, within [low, high].
bool ParseDecimal(const std::wstring& text, uint32_t low, uint32_t high, uint32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t parsed = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    parsed = parsed * 10 + static_cast<uint64_t>(c - L'0');
  }
  if (parsed < low || parsed > high) return false;
  value = static_cast<uint32_t>(parsed);
  return true;
}

bool IsDecimal(const std::wstring& text) {
  if (text.empty()) return false;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
  }
  return true;
}

// A program's file name: no path separator, no wildcard, none of the characters Windows
// refuses in a file name, no control character.
bool IsProgramName(const std::wstring& text) {
  if (text.empty()) return false;
  for (wchar_t c : text) {
    if (c < 0x20 || c == 0x7F) return false;
    for (const wchar_t* bad = L"\\/:*?\"<>|"; *bad != L'\0'; ++bad) {
      if (c == *bad) return false;
    }
  }
  return true;
}

bool IsOption(const std::wstring& arg) { return !arg.empty() && (arg[0] == L'-' || arg[0] == L'/'); }

// For error lines: the argument with anything outside printable ASCII as "?".
std::string Shown(const std::wstring& text) {
  std::string shown;
  for (wchar_t c : text) shown += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  return shown;
}

// One option and, for --instructions, its value. False with the reason for an option the
// companion does not know or a value it cannot take.
bool TakeOption(const std::vector<std::wstring>& argv, size_t& i, CliArguments& parsed, bool& dumpOption,
                std::string& error) {
  const std::wstring& arg = argv[i];
  if (arg == L"-h" || arg == L"--help" || arg == L"/?") {
    parsed.help = true;
  } else if (arg == L"--version") {
    parsed.version = true;
  } else if (arg == L"--list") {
    parsed.list = true;
  } else if (arg == L"--instructions") {
    if (i + 1 >= argv.size()) {
      error = "--instructions needs a number";
      return false;
    }
    uint32_t count = 0;
    if (!ParseDecimal(argv[++i], kFewestInstructions, kMostInstructions, count)) {
      error = "--instructions takes 16 to 200, not '" + Shown(argv[i]) + "'";
      return false;
    }
    parsed.dump.instructionCount = static_cast<int32_t>(count);
    dumpOption = true;
  } else if (arg == L"--on-crash") {
    parsed.onCrash = true;
  } else if (arg == L"--launch") {
    parsed.launch = true;
  } else if (arg == L"--install-postmortem") {
    parsed.installPostmortem = true;
  } else if (arg == L"--uninstall-postmortem") {
    parsed.uninstallPostmortem = true;
  } else if (arg == L"--postmortem") {
    parsed.postmortem = true;
  } else if (arg == L"--report-dir" || arg.compare(0, 13, L"--report-dir=") == 0) {
    if (arg == L"--report-dir" && i + 1 >= argv.size()) {
      error = "--report-dir needs a folder";
      return false;
    }
    parsed.reportDir = arg == L"--report-dir" ? argv[++i] : arg.substr(13);
    if (parsed.reportDir.empty()) {
      error = "--report-dir needs a folder";
      return false;
    }
    parsed.reportDirGiven = true;
  } else if (arg == L"--first-chance") {
    parsed.firstChance = true;
  } else if (arg == L"--report" || arg.compare(0, 9, L"--report=") == 0) {
    if (parsed.reportGiven) {
      error = "the report is given twice";
      return false;
    }
    if (arg == L"--report") {
      if (i + 1 >= argv.size()) {
        error = "--report needs a file name";
        return false;
      }
      parsed.reportName = argv[++i];
    } else {
      parsed.reportName = arg.substr(9);
    }
    parsed.reportGiven = true;
    dumpOption = true;
  } else if (arg == L"--no-symbol-table") {
    parsed.dump.symbolTableEnabled = false;
    dumpOption = true;
  } else if (arg == L"--no-memory-dump") {
    parsed.dump.memoryDumpEnabled = false;
    dumpOption = true;
  } else if (arg == L"--keep-running") {
    parsed.dump.keepRunning = true;
    dumpOption = true;
  } else if (arg == L"--minidump" || arg == L"--minidump=normal") {
    parsed.dump.minidump = MinidumpKind::kNormal;
    dumpOption = true;
  } else if (arg == L"--minidump=full") {
    parsed.dump.minidump = MinidumpKind::kFull;
    dumpOption = true;
  } else if (arg.compare(0, 11, L"--minidump=") == 0) {
    error = "--minidump takes normal or full, not '" + Shown(arg.substr(11)) + "'";
    return false;
  } else {
    error = "unknown option '" + Shown(arg) + "' (a name or report that begins with - or / goes after --)";
    return false;
  }
  return true;
}


// The crash ways in: what goes with what, and the moment of the report.
bool CheckCrashOptions(CliArguments& parsed, std::string& error) {
  if (parsed.launch && parsed.onCrash) {
    error = "--launch and --on-crash exclude each other";
    return false;
  }
  const bool crash = parsed.launch || parsed.onCrash;
  if (parsed.firstChance && !crash) {
    error = "--first-chance goes with --on-crash or --launch";
    return false;
  }
  if (crash && parsed.dump.keepRunning) {
    error = "--keep-running is for the attach moment only; a crashed program cannot run on";
    return false;
  }
  if (crash) parsed.dump.reportAt = parsed.firstChance ? ReportMoment::kFirstChanceError : ReportMoment::kUnhandled;
  return true;
}

}  // namespace

std::wstring QuotedCommandLine(const std::vector<std::wstring>& argv) {
  std::wstring line;
  for (size_t n = 0; n < argv.size(); ++n) {
    const std::wstring& arg = argv[n];
    if (n > 0) line += L' ';
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
      line += arg;
      continue;
    }
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : arg) {
      if (c == L'\\') {
        ++backslashes;
        continue;
      }
      // Backslashes count as such only before a quote: there each one is doubled.
      line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
  }
  return line;
}

namespace {

// The postmortem ways: install and uninstall take no process, --postmortem takes the two
// numbers the system gives it.
bool CheckPostmortem(const std::vector<const std::wstring*>& positional, CliArguments& parsed, std::string& error) {
  const int ways = parsed.installPostmortem + parsed.uninstallPostmortem + parsed.postmortem;
  if (ways > 1 || parsed.launch || parsed.onCrash || parsed.firstChance) {
    error = "--install-postmortem, --uninstall-postmortem and --postmortem go with no other way in";
    return false;
  }
  if (parsed.dump.keepRunning) {
    error = "--keep-running is for the attach moment only; a crashed program cannot run on";
    return false;
  }
  if (parsed.reportGiven) {
    error = "a postmortem report is named by its program; give --report-dir";
    return false;
  }
  if (parsed.uninstallPostmortem && parsed.reportDirGiven) {
    error = "--uninstall-postmortem takes no other arguments";
    return false;
  }
  if (!parsed.postmortem) {
    if (positional.empty()) return true;
    error = "too many arguments, from '" + Shown(*positional[0]) + "'";
    return false;
  }
  if (positional.size() != 2 || !ParseDecimal(*positional[0], 1, kLargestProcessId, parsed.processId) ||
      !ParseDecimal(*positional[1], 0, kLargestProcessId, parsed.eventHandle)) {
    error = "--postmortem takes a process id and an event handle, in decimal";
    return false;
  }
  parsed.dump.reportAt = ReportMoment::kUnhandled;
  return true;
}

void TakeProgram(const std::vector<std::wstring>& argv, size_t& i, CliArguments& parsed) {
  // PROGRAM, and everything after it is the program's, options among them.
  parsed.program = argv[i];
  parsed.programArguments.assign(argv.begin() + static_cast<std::ptrdiff_t>(i) + 1, argv.end());
  i = argv.size();
}

}  // namespace

bool ParseCliArguments(const std::vector<std::wstring>& argv, CliArguments& parsed, std::string& error) {
  parsed = CliArguments();
  std::vector<const std::wstring*> positional;
  bool dumpOption = false;
  bool optionsEnded = false;
  for (size_t i = 1; i < argv.size(); ++i) {
    const std::wstring& arg = argv[i];
    if (parsed.launch && (optionsEnded || (!IsOption(arg) && arg != L"--"))) {
      TakeProgram(argv, i, parsed);
    } else if (!optionsEnded && arg == L"--") {
      optionsEnded = true;
    } else if (!optionsEnded && IsOption(arg)) {
      if (!TakeOption(argv, i, parsed, dumpOption, error)) return false;
    } else {
      positional.push_back(&arg);
    }
  }

  // Asking for help or the version is never an error, whatever else stands beside it.
  if (parsed.help || parsed.version) return true;
  if (parsed.list) {
    if (dumpOption || !positional.empty() || parsed.launch || parsed.onCrash) {
      error = "--list takes no other arguments";
      return false;
    }
    return true;
  }
  if (parsed.installPostmortem || parsed.uninstallPostmortem || parsed.postmortem) {
    return CheckPostmortem(positional, parsed, error);
  }
  if (parsed.reportDirGiven) {
    error = "--report-dir goes with --install-postmortem or --postmortem";
    return false;
  }
  if (!CheckCrashOptions(parsed, error)) return false;
  if (parsed.launch) {
    if (parsed.program.empty()) {
      error = "--launch needs a program";
      return false;
    }
    return true;
  }
  if (positional.empty()) {
    error = "no process given";
    return false;
  }
  if (positional.size() > 2) {
    error = "too many arguments, from '" + Shown(*positional[2]) + "'";
    return false;
  }

  const std::wstring& target = *positional[0];
  if (IsDecimal(target)) {
    if (!ParseDecimal(target, 0, kLargestProcessId, parsed.processId)) {
      error = "no such process id '" + Shown(target) + "'";
      return false;
    }
    if (parsed.processId == 0) {
      error = "process id 0 is the system's idle process, which cannot be dumped";
      return false;
    }
  } else if (target.empty()) {
    error = "empty process name";
    return false;
  } else if (!IsProgramName(target)) {
    error = "'" + Shown(target) + "' is neither a process id nor a program name";
    return false;
  } else {
    parsed.byName = true;
    parsed.processName = target;
  }
  if (positional.size() == 2) {
    if (parsed.reportGiven) {
      error = "the report is given twice";
      return false;
    }
    parsed.reportGiven = true;
    parsed.reportName = *positional[1];
  }
  return true;
}

std::wstring PostmortemCommand(const std::wstring& companion, const CliArguments& install) {
  std::vector<std::wstring> argv = {companion};
  const DumpOptions& options = install.dump;
  if (options.instructionCount != CliDefaults().instructionCount) {
    argv.push_back(L"--instructions");
    argv.push_back(std::to_wstring(options.instructionCount));
  }
  if (!options.symbolTableEnabled) argv.push_back(L"--no-symbol-table");
  if (!options.memoryDumpEnabled) argv.push_back(L"--no-memory-dump");
  if (options.minidump == MinidumpKind::kNormal) argv.push_back(L"--minidump=normal");
  if (options.minidump == MinidumpKind::kFull) argv.push_back(L"--minidump=full");
  if (install.reportDirGiven) argv.push_back(L"--report-dir=" + install.reportDir);
  // The system formats the line with the process id and the event, so a "%" of a path is
  // doubled to stay itself.
  std::wstring line;
  for (wchar_t c : QuotedCommandLine(argv)) line += c == L'%' ? std::wstring(L"%%") : std::wstring(1, c);
  return line + L" --postmortem %ld %ld";
}
