// The disassembler's entry points: one instruction into one listing line, from the target's
// bytes, symbols and register values that the caller hands in; and the instruction lengths
// alone for callers that only need to walk code.
#pragma once

#include <stdint.h>

#include "disasm/instruction.h"
#include "disasm/symbol_resolver.h"

// The caller's line buffer: a listing line always fits, its NUL included.
constexpr uint32_t kListingLineSize = 1024;

namespace disasm {

// The listing's one way to the target's bytes: the code window and the operand values.
class ByteReader {
 public:
  // Reads up to size bytes at address into buffer; the number of bytes read.
  virtual uint32_t Read(uint32_t address, uint8_t* buffer, uint32_t size) = 0;

 protected:
  ~ByteReader() = default;
};

// What a listing line is made from. Without registers no memory operand is evaluated and
// no value is shown; without symbols every address is a number.
struct ListingSources {
  ByteReader* memory;
  SymbolResolver* symbols;
  const RegisterValues* registers;
};

// Decodes the instruction at address and writes its listing line into line
// (kListingLineSize characters). True: address is advanced past the instruction. False: the
// instruction could not be read; line holds the failure line, address is unchanged.
bool ListInstruction(const ListingSources& sources, uint32_t& address, char* line);

// The length ListInstruction would find at address, with the same result; no text, no symbol
// lookups, no value reads: one read of the 64-byte code window.
bool ReadLength(ByteReader& memory, uint32_t address, uint32_t* length);

}  // namespace disasm

// The same over code bytes already in hand: count is the number of bytes of window that the
// code window read would have delivered (at most 64 are used).
bool DecodeLength(const uint8_t* window, uint32_t count, uint32_t* length);
