// Text forms and the column layout of a listing line: the hex, number and symbolic helpers the
// decoder writes its pieces with, the value text, and the layout that joins head, prefix text,
// mnemonic, operands and values into one line (or the failure line).
#pragma once

#include <stdint.h>

#include "disasm/symbol_resolver.h"
#include "disasm/text_piece.h"

namespace disasm {

constexpr uint32_t kMnemonicColumn = 26;
constexpr uint32_t kOperandColumn = 34;
constexpr uint32_t kRightEdge = 77;
constexpr uint32_t kSingleLineLimit = 76;
constexpr char kContinuation[] = "\n        ";

// Capacities of the pieces, the terminating NUL included.
constexpr uint32_t kMnemonicCapacity = 20;  // "vaeskeygenassist" and the FMA names
constexpr uint32_t kPrefixCapacity = 32;
constexpr uint32_t kOperandCapacity = 80;
constexpr uint32_t kMemoryCapacity = 80;
constexpr uint32_t kValueCapacity = 44;
constexpr uint32_t kHeadCapacity = 8 + 1 + 2 * 64 + 1;  // address, blank, 64 code bytes

// The n bytes in memory order, two lower-case hex digits each.
void AppendHexBytes(Text& text, const uint8_t* bytes, uint32_t n);
// The little-endian value of n bytes, most significant byte first, leading zeros kept.
void AppendHexValue(Text& text, const uint8_t* bytes, uint32_t n);
// "0x" and hex digits of a 1-, 2- or 4-byte value; the signed form (displacements) writes
// nothing for zero and a sign otherwise, "-" only for a negative single byte.
void AppendNumber(Text& text, const uint8_t* bytes, uint32_t size, bool isSigned);
// A 2- or 4-byte address: "name+0xN (address)" when symbols know it, else the hex. Null
// symbols know none.
void AppendSymbolic(Text& text, SymbolResolver* symbols, const uint8_t* bytes, uint32_t size);

// The address column and the instruction's bytes.
void AppendHead(Text& head, uint32_t address, const uint8_t* bytes, uint32_t n);
// One value slot "seg:address=value " (question marks when the bytes could not be read).
void AppendValue(Text& values, const char* segment, uint32_t address, const uint8_t* bytes, uint32_t size,
                 bool readable);
// Drops the blank after the last value.
void FinishValues(Text& values);

// Joins the pieces into the line by the fixed columns, moving them, or wrapping once, when
// the line would grow past the right edge.
void LayOutLine(Text& line, const Text& head, const Text& prefix, const Text& mnemonic, const Text& operands,
                const Text& values);
// The line of an instruction that could not be read: address, the bytes read, "??", "???".
void WriteFailureLine(Text& line, uint32_t address, const uint8_t* bytes, uint32_t n);

}  // namespace disasm
