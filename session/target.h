// The stopped target as the report's readers see it: its process, one read path, its
// regions, its threads' contexts, the module at an address and the symbols there. A view
// over the session's own state; it owns nothing and is only as narrow as its readers need.
#pragma once

#include <stdint.h>

#include <vector>

#include "session/module.h"
#include "session/platform.h"
#include "session/region_walk.h"
#include "session/symbol_service.h"
#include "session/thread_context.h"

// The session's read of the target (ReadTargetMemory): after a failed try the request shrinks,
// halving the size or, without halve, moving the front up 8 bytes.
struct TargetReadPath {
  bool (*read)(void* context, uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve);
  void* context;
};

class CTarget {
 public:
  CTarget(const HANDLE& process, const TargetReadPath& read, const std::vector<CThreadContext>& threads,
          const std::vector<CModule>& modules, CSymbolService& symbols)
      : processHandle(process), readPath(read), threadTable(threads), moduleTable(modules), symbolService(symbols) {}
  CTarget(const CTarget&) = delete;
  CTarget& operator=(const CTarget&) = delete;

  HANDLE process() const { return processHandle; }
  bool Read(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve) const {
    return readPath.read(readPath.context, address, buffer, size, bytesRead, halve);
  }
  // The region at address; false when the platform cannot say.
  bool QueryRegion(uint32_t address, MEMORY_BASIC_INFORMATION* info) const {
    return ::QueryRegion(processHandle, address, *info);
  }
  const std::vector<CThreadContext>& threads() const { return threadTable; }
  const std::vector<CModule>& modules() const { return moduleTable; }
  // The first record of the module table whose image holds address, or null.
  const CModule* ModuleAt(uint32_t address) const {
    for (const CModule& module : moduleTable) {
      if (address - module.base < module.size) return &module;
    }
    return nullptr;
  }
  CSymbolService& symbols() const { return symbolService; }

 private:
  const HANDLE& processHandle;
  TargetReadPath readPath;
  const std::vector<CThreadContext>& threadTable;
  const std::vector<CModule>& moduleTable;
  CSymbolService& symbolService;
};
