// One entry of the session's module table.
#pragma once

#include <stdint.h>

#include <string>

struct CModule {
  std::string name;  // never empty: "(unknown module)" stands for a missing name
  uint32_t base;
  uint32_t size;
  bool loaded = true;  // false once the module's unload event came; the record stays

  CModule(const std::string& moduleName, uint32_t moduleBase, uint32_t moduleSize)
      : name(moduleName.empty() ? "(unknown module)" : moduleName), base(moduleBase), size(moduleSize) {}
};
