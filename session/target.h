// The stopped target as the report's readers see it: its process, its memory, its regions,
// its threads' contexts, the module at an address, the symbols there and where its code lies.
// A view over the session's own state; it owns nothing and is only as narrow as its readers
// need. Reads and look-ups go on through a const view: what they learn is kept by the
// owners behind it, not by the view.
#pragma once

#include <stdint.h>

#include <vector>

#include "session/code_boundaries.h"
#include "session/module.h"
#include "session/module_image.h"
#include "session/platform.h"
#include "session/region_walk.h"
#include "session/symbol_service.h"
#include "session/target_memory.h"
#include "session/thread_context.h"

class CTarget {
 public:
  CTarget(const HANDLE& process, const uint32_t& processId, CTargetMemory& memory,
          const std::vector<CThreadContext>& threads, const std::vector<CModule>& modules, CSymbolService& symbols,
          CModuleImages& moduleImages, CCodeBoundaries& codeBoundaries)
      : processHandle(process),
        id(processId),
        reads(memory),
        threadTable(threads),
        moduleTable(modules),
        symbolService(symbols),
        imageTable(moduleImages),
        boundaries(codeBoundaries) {}
  CTarget(const CTarget&) = delete;
  CTarget& operator=(const CTarget&) = delete;

  HANDLE process() const { return processHandle; }
  uint32_t processId() const { return id; }

  // The reads of CTargetMemory.
  bool Read(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve) const {
    return reads.Read(address, buffer, size, bytesRead, halve);
  }
  bool ReadUncached(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve) const {
    return reads.ReadUncached(address, buffer, size, bytesRead, halve);
  }
  uint32_t ReadPrefix(uint32_t address, void* buffer, uint32_t size, bool keep = true) const {
    return reads.ReadPrefix(address, buffer, size, keep);
  }
  bool ReadExactly(uint32_t address, void* buffer, uint32_t size, bool keep = true) const {
    return reads.ReadExactly(address, buffer, size, keep);
  }

  // The region at address; false when the platform cannot say.
  bool QueryRegion(uint32_t address, MEMORY_BASIC_INFORMATION* info) const {
    return ::QueryRegion(processHandle, address, *info);
  }
  const std::vector<CThreadContext>& threads() const { return threadTable; }
  const std::vector<CModule>& modules() const { return moduleTable; }
  // The record of the module table that address belongs to (ModuleRecordAt), or null.
  const CModule* ModuleAt(uint32_t address) const {
    const size_t record = ModuleRecordAt(moduleTable, address);
    return record < moduleTable.size() ? &moduleTable[record] : nullptr;
  }
  CSymbolService& symbols() const { return symbolService; }
  // What the modules' images say: their code sections, likely function starts, exports.
  CModuleImages& images() const { return imageTable; }
  CCodeBoundaries& codeBoundaries() const { return boundaries; }

 private:
  const HANDLE& processHandle;
  const uint32_t& id;
  CTargetMemory& reads;
  const std::vector<CThreadContext>& threadTable;
  const std::vector<CModule>& moduleTable;
  CSymbolService& symbolService;
  CModuleImages& imageTable;
  CCodeBoundaries& boundaries;
};
