// How the listing learns symbol names: the caller that knows the target's symbols hands one
// in; without one every address is written as a number.
#pragma once

#include <stdint.h>

namespace disasm {

struct SymbolName {
  const char* text = nullptr;
  uint32_t length = 0;  // at most this many characters of text; it ends earlier at a NUL
  uint32_t displacement = 0;
};

class SymbolResolver {
 public:
  // The symbol at or below address and address's distance from it; false when none is known.
  virtual bool Resolve(uint32_t address, SymbolName* name) = 0;

 protected:
  ~SymbolResolver() = default;
};

}  // namespace disasm
