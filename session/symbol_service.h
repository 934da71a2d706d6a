// The symbol at an address, for every part of the report that names code: the symbol
// handler's answer, or, where it has none and the address lies in a module of the module
// table, the exported function of that module whose span holds the address. An export is
// answered the way the handler answers: name, address, size and plain flags.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "session/module_image.h"
#include "session/platform.h"

// Room for a 1024-character symbol name behind the 24-byte IMAGEHLP_SYMBOL, as the handler
// is asked to fill it.
constexpr uint32_t kSymbolNameLength = 1024;
constexpr uint32_t kSymbolBufferSize = 1048;

// One answer of the look-up, by value.
struct CSymbol {
  uint32_t address = 0;
  uint32_t size = 0;          // 0 when unknown
  uint32_t flags = 0;         // the handler's SYMF_ flags; none for an export
  uint32_t displacement = 0;  // the address looked up minus address
  bool fromExports = false;   // taken from an export table, not from the handler
  std::string name;           // cut as the handler's buffer cuts it
};

// The symbols of one attach: the symbol handler while it runs for the target, and the export
// tables of the module images. Started at the process-creation event, ended after the report
// by EndReport, released by the session's destructor.
class CSymbolService {
 public:
  // process and images are the session's: the handle the handler is asked about and the
  // module images whose export tables stand in where the handler knows nothing.
  CSymbolService(const HANDLE& process, CModuleImages& images);
  ~CSymbolService() { Release(); }
  CSymbolService(const CSymbolService&) = delete;
  CSymbolService& operator=(const CSymbolService&) = delete;

  // Look-ups answer from here on (the session enables them once its report file exists).
  void Enable();
  void Disable() { isEnabled = false; }
  bool enabled() const { return isEnabled; }
  // SymInitialize for the target, invading it.
  void StartHandler(HANDLE process, const char* searchPath);
  // After a report: the handler forgets the target (the module images are dropped by their
  // owner). Look-ups stay enabled for a later report.
  void EndReport();
  void Release();

  // The symbol that holds address. False: none is known.
  bool LookUp(uint32_t address, CSymbol* symbol);
  // The same, for decisions that show nothing of the symbol: the flags remembered below stay
  // as they were.
  bool LookUpQuietly(uint32_t address, CSymbol* symbol);

  // The flags of the last symbol LookUp found (none before the first). The frame line's OMAP
  // mark reads these, also after a look-up that found nothing, as the report always has.
  uint32_t lastFoundFlags() const { return foundFlags; }

 private:
  bool Find(uint32_t address, CSymbol* symbol);
  bool FindExport(uint32_t address, CSymbol* symbol);

  const HANDLE& process;
  CModuleImages& images;
  bool isEnabled = false;
  uint32_t foundFlags = 0;
  HANDLE handlerProcess = nullptr;  // the process the handler was started for; null when not running
  // The record the handler fills; only Find reads it, and copies out what it answers.
  std::vector<uint8_t> handlerRecord;
};

// The name a frame line or a "function:" line shows for a symbol: the name, and for one taken
// from an export table its distance, "+0x1c", as it is only the nearest export below the
// address, not the function known to hold it.
std::string ShownSymbolName(const CSymbol& symbol);
