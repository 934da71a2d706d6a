// The symbol at an address, for every part of the report that names code: the symbol
// handler's answer, or, where it has none and the address lies in a module of the module
// table, the exported function of that module whose span holds the address. An export is
// answered the way the handler answers: name, address, size and plain flags.
#pragma once

#include <stdint.h>

#include "session/export_table.h"
#include "session/platform.h"

class CLogFile;

// Room for a 1024-character symbol name behind the 24-byte IMAGEHLP_SYMBOL.
constexpr uint32_t kSymbolNameLength = 1024;
constexpr uint32_t kSymbolBufferSize = 1048;

// Everything the symbol look-ups of one attach hold: the shared symbol buffer, the export
// tables read so far and whether the symbol handler runs for the target. Started at the
// process-creation event, ended after the report by EndReport, released by the session's
// destructor; nothing else touches these.
class CSymbolState {
 public:
  CSymbolState() = default;
  ~CSymbolState() { Release(); }
  CSymbolState(const CSymbolState&) = delete;
  CSymbolState& operator=(const CSymbolState&) = delete;

  // The buffer, zero-filled so that the flags of a look-up that found nothing read as clear.
  void AllocateBuffer();
  // SymInitialize for the target, invading it.
  void StartHandler(HANDLE process, const char* searchPath);
  // After a report: the handler forgets the target and the export tables are dropped (the
  // target may change once it runs again). The buffer stays for a later report.
  void EndReport(HANDLE process);
  // The buffer goes as well; a handler still running is ended.
  void Release();

  PIMAGEHLP_SYMBOL buffer = nullptr;
  CModuleExports exports;
  HANDLE handlerProcess = nullptr;  // the process the handler was started for; null when not running
};

// Fills the session's symbolBuffer and *displacement (address minus the symbol's address).
// False: no symbol is known; the buffer then keeps what the last look-up left. *fromExports
// (when given) tells whether the answer came from an export table rather than the handler.
bool LookUpSymbolAt(CLogFile& session, uint32_t address, uint32_t* displacement, bool* fromExports = nullptr);

// The name a frame line or a "function:" line shows for the symbol in the session's buffer:
// the name, and for one taken from an export table its distance, "+0x1c", as it is only the
// nearest export below the address, not the function known to hold it.
void ShownSymbolName(const IMAGEHLP_SYMBOL& symbol, uint32_t displacement, bool fromExports, char* text,
                     uint32_t capacity);
constexpr uint32_t kShownSymbolNameSize = kSymbolNameLength + 16;
