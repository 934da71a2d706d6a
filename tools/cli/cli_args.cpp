#include "tools/cli/cli_args.h"

const char kCliUsage[] =
    "usage: tarnholm-cli PID|NAME [REPORT] [--instructions N] [--no-symbol-table] [--no-memory-dump] "
    "[--keep-running] [--minidump[=normal|full]]\n"
    "       tarnholm-cli --list\n";

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

// For error lines: the argument with anything outside printable ASCII as "?".
std::string Shown(const std::wstring& text) {
  std::string shown;
  for (wchar_t c : text) shown += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  return shown;
}

}  // namespace

bool ParseCliArguments(const std::vector<std::wstring>& argv, CliArguments& parsed, std::string& error) {
  parsed = CliArguments();
  std::vector<const std::wstring*> positional;
  bool optionsGiven = false;
  for (size_t i = 1; i < argv.size(); ++i) {
    const std::wstring& arg = argv[i];
    if (arg == L"--list") {
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
      parsed.instructionCount = static_cast<int32_t>(count);
      optionsGiven = true;
    } else if (arg == L"--no-symbol-table") {
      parsed.symbolTable = false;
      optionsGiven = true;
    } else if (arg == L"--no-memory-dump") {
      parsed.memoryDump = false;
      optionsGiven = true;
    } else if (arg == L"--keep-running") {
      parsed.keepRunning = true;
      optionsGiven = true;
    } else if (arg == L"--minidump" || arg == L"--minidump=normal") {
      parsed.minidump = MinidumpKind::kNormal;
      optionsGiven = true;
    } else if (arg == L"--minidump=full") {
      parsed.minidump = MinidumpKind::kFull;
      optionsGiven = true;
    } else if (arg.compare(0, 11, L"--minidump=") == 0) {
      error = "--minidump takes normal or full, not '" + Shown(arg.substr(11)) + "'";
      return false;
    } else if (arg.size() > 1 && arg[0] == L'-' && arg[1] == L'-') {
      error = "unknown option '" + Shown(arg) + "'";
      return false;
    } else {
      positional.push_back(&arg);
    }
  }

  if (parsed.list) {
    if (optionsGiven || !positional.empty()) {
      error = "--list takes no other arguments";
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
  } else if (target.empty()) {
    error = "empty process name";
    return false;
  } else {
    parsed.byName = true;
    parsed.processName = target;
  }
  if (positional.size() == 2) {
    parsed.reportGiven = true;
    parsed.reportName = *positional[1];
  }
  return true;
}
