#include "tools/cli/target_lookup.h"

#include <stdarg.h>
#include <stdio.h>

#include <vector>

#include "app/process_list.h"
#include "session/ansi_text.h"
#include "session/exit_status.h"
#include "session/platform.h"
#include "tools/cli/process_match.h"

namespace {

const char kOnly32Bit[] = "only 32-bit processes can be dumped";

std::string Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Line(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  return line;
}

int ByName(const std::wstring& name, uint32_t& processId, std::wstring& programName, std::string& failure) {
  std::vector<ProcessRow> rows;
  if (!CollectProcessRows(rows, true)) {
    failure = Line("can't list the processes (e=%d)", static_cast<int>(GetLastError()));
    return kExitAttachFailed;
  }
  const std::vector<uint32_t> ids = MatchProcessName(name, rows, &WideFromAnsi);
  const std::string shown = AnsiForDisplay(name);
  if (ids.empty()) {
    failure = "no process named " + shown;
    return kExitNoSuchProcess;
  }
  if (ids.size() > 1) {
    failure = Line("%u processes named %s, ids %s; give one id", static_cast<unsigned>(ids.size()), shown.c_str(),
                   IdList(ids).c_str());
    return kExitSeveralProcesses;
  }
  processId = ids[0];
  const std::string pidText = std::to_string(processId);
  for (const ProcessRow& row : rows) {
    if (row.pidText != pidText) continue;
    if (row.is64Bit) {
      failure = Line("%s (process %u) is a 64-bit process; %s", shown.c_str(), static_cast<unsigned>(processId),
                     kOnly32Bit);
      return kExitProcessIs64Bit;
    }
    programName = row.programName;
  }
  return kExitDumped;
}

int ById(uint32_t processId, std::string& failure) {
  switch (ProbeProcess(processId)) {
    case ProcessKind::k32Bit:
      return kExitDumped;
    case ProcessKind::k64Bit:
      failure = Line("process %u is a 64-bit process; %s", static_cast<unsigned>(processId), kOnly32Bit);
      return kExitProcessIs64Bit;
    case ProcessKind::kNoSuchProcess:
      failure = Line("no process with id %u", static_cast<unsigned>(processId));
      return kExitNoSuchProcess;
    case ProcessKind::kNotOpened:
      break;
  }
  failure = Line("can't open process %u (e=%d)", static_cast<unsigned>(processId), static_cast<int>(GetLastError()));
  return kExitAttachFailed;
}

}  // namespace

int LookUpTarget(const CliArguments& args, uint32_t& processId, std::wstring& programName, std::string& failure) {
  failure.clear();
  programName.clear();
  processId = args.processId;
  return args.byName ? ByName(args.processName, processId, programName, failure) : ById(processId, failure);
}
