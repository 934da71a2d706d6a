// Which minidump, if any, goes beside the report (the companion's --minidump[=normal|full]).
#pragma once

#include <string>

enum class MinidumpKind {
  kNone,    // the report alone
  kNormal,  // thread stacks, data segments, handle data, unloaded modules, thread info
  kFull,    // the same with all of the target's memory
};

// The minidump's file name beside a report: the report's name and ".dmp".
inline std::wstring MinidumpFileNameOf(const std::wstring& reportName) { return reportName + L".dmp"; }
