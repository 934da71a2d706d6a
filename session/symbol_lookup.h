// The symbol at an address, for every part of the report that names code: the symbol
// handler's answer, or, where it has none and the address lies in a module of the module
// table, the exported function of that module whose span holds the address. An export is
// answered the way the handler answers: name, address, size and plain flags.
#pragma once

#include <stdint.h>

class CLogFile;

// Fills the session's symbolBuffer and *displacement (address minus the symbol's address).
// False: no symbol is known; the buffer then keeps what the last look-up left.
bool LookUpSymbolAt(CLogFile& session, uint32_t address, uint32_t* displacement);
