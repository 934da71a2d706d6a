// The exported functions of the target's modules, read from each module's export directory
// in the target's memory. They stand in for symbols where the symbol handler has none (Wine's
// handler knows nothing inside its own DLLs): a frame in a system DLL then still reads as the
// exported function it lies in, and its code listing starts at a real function start.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "session/module.h"

class CLogFile;

struct ExportedFunction {
  uint32_t address;     // in the target
  uint32_t size;        // up to the next exported function or the end of its section
  uint32_t nameOffset;  // into the table's name pool, NUL-terminated there
};

// One module's exported functions, sorted by address: one per address, forwarded ones and
// those outside executable sections left out, "#N" (the ordinal) for those without a name.
class CExportTable {
 public:
  // Reads the export directory of module. False: the module has none that can be used, and
  // *problem says why (empty when it simply has none).
  bool Read(CLogFile& session, const CModule& module, std::string* problem);

  // The function whose span holds address, or null.
  const ExportedFunction* FunctionAt(uint32_t address) const;
  const char* NameOf(const ExportedFunction& function) const { return names.c_str() + function.nameOffset; }
  size_t size() const { return functions.size(); }

 private:
  std::vector<ExportedFunction> functions;
  std::string names;
};

// The export tables of the modules of the module table, each read at its first use and kept
// until Clear (after each report: the target may change once it runs again).
class CModuleExports {
 public:
  // The exported function whose span holds address in the module of the session's table
  // that holds address, or null. *name receives its name.
  const ExportedFunction* FunctionAt(CLogFile& session, uint32_t address, const char** name);
  void Clear() { tables.clear(); }

 private:
  struct ModuleTable {
    uint32_t base;
    uint32_t size;
    CExportTable table;  // empty when the module has no usable export directory
  };
  std::vector<ModuleTable> tables;
};
