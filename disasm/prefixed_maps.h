// The opcode maps of the instructions after the 80486 whose meaning depends on a mandatory
// prefix (none, 66, F3, F2) or on a VEX or EVEX prefix: MMX, SSE to SSE4.2, AES-NI,
// PCLMULQDQ, SHA, AVX, AVX2, FMA, F16C, BMI1/2 and the P6 additions of the 0F map. The
// decoder consults them only where the primary table leaves a two-byte opcode as "???", for
// the three-byte escapes 0F 38 and 0F 3A, and for C4/C5/62 in their VEX/EVEX form.
#pragma once

#include <stdint.h>

namespace disasm {

// The mandatory prefix, numbered as the pp field of a VEX prefix.
enum MandatoryPrefix : uint8_t {
  kNoPrefix = 0,
  kPrefix66 = 1,
  kPrefixF3 = 2,
  kPrefixF2 = 3,
};

// Which encodings a row serves. Under VEX a row of both gets "v" before its mnemonic.
// Outside VEX a 66, F2 or F3 that selects no row of the opcode makes most rows undefined, as
// it does on the processor; the general-purpose rows say which of them keep their own
// meaning there (66 the operand size, F2/F3 a printed prefix).
enum RowEncodings : uint8_t {
  kLegacy = 1,
  kVex = 2,
  kBoth = 3,
  kSizePrefixable = 4,    // flag: an unselecting 66 is the operand size
  kRepeatPrefixable = 8,  // flag: an unselecting F2 or F3 is a printed prefix
  kGeneral = kLegacy | kSizePrefixable | kRepeatPrefixable,
  kGeneralNoRepeat = kLegacy | kSizePrefixable,
  kBothGeneral = kBoth | kSizePrefixable | kRepeatPrefixable,
};

// One opcode of a map with one mandatory prefix.
struct PrefixedRow {
  uint8_t opcode;
  MandatoryPrefix prefix;
  RowEncodings encodings;
  const char* mnemonic;
  const uint8_t* script;
};

// Maps by number: 1 is 0F xx, 2 is 0F 38 xx, 3 is 0F 3A xx.
constexpr uint32_t kMap0F = 1;
constexpr uint32_t kMap0F38 = 2;
constexpr uint32_t kMap0F3A = 3;

constexpr uint32_t kMap0FRowCount = 300;
constexpr uint32_t kMap0F38RowCount = 146;
constexpr uint32_t kMap0F3ARowCount = 42;

// The rows of opcode in map (sorted by prefix); count 0 when the map has none or the map
// number is not 1..3.
const PrefixedRow* PrefixedRows(uint32_t map, uint8_t opcode, uint32_t* count);

// Scripts for what no row describes: no operands (the 0F map: two bytes), a ModR/M operand
// (0F 38 and VEX), a ModR/M operand and an immediate (0F 3A).
extern const uint8_t kUnknownNoOperands[];
extern const uint8_t kUnknownModRM[];
extern const uint8_t kUnknownModRMImm8[];

}  // namespace disasm
