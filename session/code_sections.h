// The executable sections of the target's modules, read from each module's headers in the
// target's memory: where code of a module of the module table can lie. A value on the stack
// that points anywhere else is no return address.
#pragma once

#include <stdint.h>

#include <vector>

#include "session/module.h"
#include "session/text_pane.h"

class CTarget;

class CCodeSections {
 public:
  // Says through log which modules' return addresses cannot be believed.
  explicit CCodeSections(const TextPane& log) : log(log) {}
  // True when address lies in an executable section of a module of the target's table.
  // A module's headers are read at the first question about it and kept until Clear.
  bool Holds(const CTarget& target, uint32_t address);
  // The executable section of a module of the target's table that holds address: [*start,
  // *end) in the target. False when address lies in none.
  bool SectionAt(const CTarget& target, uint32_t address, uint32_t* start, uint32_t* end);
  // Where the function that holds address most likely starts when no symbol says so: the
  // nearest address at or below it, in the same executable section, that the section's code
  // calls directly (E8 rel32) or takes as a function pointer (an immediate operand of a
  // push or a move). The section's bytes are read once, at the first question.
  bool FunctionStartAtOrBelow(const CTarget& target, uint32_t address, uint32_t* start);
  void Clear() { modules.clear(); }

 private:
  struct Range {
    uint32_t start;  // relative to the module's base
    uint32_t end;
  };
  struct Targets {
    uint32_t start;                // the section's, relative to the module's base
    std::vector<uint32_t> sorted;  // absolute addresses of likely function starts in the section
  };
  struct ModuleSections {
    uint32_t base;
    uint32_t size;
    std::vector<Range> ranges;  // empty when the headers could not be used
    std::vector<Targets> targets;
  };
  ModuleSections& SectionsOf(const CTarget& target, const CModule& module);
  static Targets ReadTargets(const CTarget& target, uint32_t base, const Range& range);

  TextPane log;
  std::vector<ModuleSections> modules;
};
