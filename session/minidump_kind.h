// Which minidump, if any, goes beside the report (the companion's --minidump[=normal|full]).
#pragma once

enum class MinidumpKind {
  kNone,    // the report alone
  kNormal,  // thread stacks, data segments, handle data, unloaded modules, thread info
  kFull,    // the same with all of the target's memory
};
