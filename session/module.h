// One entry of the session's module table.
#pragma once

#include <stdint.h>

#include <stddef.h>

#include <string>
#include <vector>

struct CModule {
  std::string name;  // never empty: "(unknown module)" stands for a missing name
  uint32_t base;
  uint32_t size;
  bool loaded = true;  // false once the module's unload event came; the record stays

  CModule(const std::string& moduleName, uint32_t moduleBase, uint32_t moduleSize)
      : name(moduleName.empty() ? "(unknown module)" : moduleName), base(moduleBase), size(moduleSize) {}
};

// The record of modules that address belongs to, modules.size() for none. A module that was
// unloaded keeps its record, and another may since have been loaded at its place: the latest
// record of a module still loaded whose image holds the address, else the latest of any.
inline size_t ModuleRecordAt(const std::vector<CModule>& modules, uint32_t address) {
  size_t record = modules.size();
  for (size_t i = modules.size(); i-- > 0;) {
    if (address - modules[i].base >= modules[i].size) continue;
    if (modules[i].loaded) return i;
    if (record == modules.size()) record = i;
  }
  return record;
}
