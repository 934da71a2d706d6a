// The executable sections of the target's modules, read from each module's headers in the
// target's memory: where code of a module of the module table can lie. A value on the stack
// that points anywhere else is no return address.
#pragma once

#include <stdint.h>

#include <vector>

#include "session/module.h"

class CLogFile;

class CCodeSections {
 public:
  // True when address lies in an executable section of a module of the session's table.
  // A module's headers are read at the first question about it and kept until Clear.
  bool Holds(CLogFile& session, uint32_t address);
  // The executable section of a module of the session's table that holds address: [*start,
  // *end) in the target. False when address lies in none.
  bool SectionAt(CLogFile& session, uint32_t address, uint32_t* start, uint32_t* end);
  // The module of the session's table that holds address, or null.
  static const CModule* ModuleAt(const CLogFile& session, uint32_t address);
  void Clear() { modules.clear(); }

 private:
  struct Range {
    uint32_t start;  // relative to the module's base
    uint32_t end;
  };
  struct ModuleSections {
    uint32_t base;
    uint32_t size;
    std::vector<Range> ranges;  // empty when the headers could not be used
  };
  const ModuleSections& SectionsOf(CLogFile& session, const CModule& module);

  std::vector<ModuleSections> modules;
};
