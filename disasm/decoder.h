// The decoder: runs the operand scripts of one instruction over a window of code bytes and
// builds the instruction's text pieces and value slots. Everything lives in one state record
// made afresh per instruction.
#pragma once

#include <stdint.h>

#include "disasm/instruction.h"
#include "disasm/listing.h"
#include "disasm/symbol_resolver.h"
#include "disasm/text_piece.h"

namespace disasm {

constexpr uint32_t kCodeWindowSize = 64;

struct DecoderState {
  // Input: the code bytes that could be read, and the cursor over them.
  const uint8_t* window = nullptr;
  uint32_t count = 0;
  uint32_t cursor = 0;
  uint32_t address = 0;
  bool cut = false;  // a byte past the bytes read was needed

  const uint8_t* script = nullptr;
  uint8_t opcode = 0;  // the byte last dispatched (the second byte after 0F)
  uint32_t operandSize = 4;
  bool registers32 = true;
  uint32_t addressSize = 4;
  bool addressing32 = true;
  uint8_t segmentOverride = 0;  // 0: none, else the prefix byte
  bool wordSource = false;      // 0F B7, 0F BF: the ModR/M register is 16-bit
  uint8_t map = 0;              // 0: one-byte opcodes, 1: 0F, 2: 0F 38, 3: 0F 3A

  // Prefixes that may be mandatory prefixes of an instruction after the 80486: 66 and the
  // last of F2/F3, with where its text sits in the prefix text (taken out again when the
  // prefix turns out to select the instruction).
  bool operandPrefix = false;
  uint8_t repeatPrefix = 0;  // 0, 0xF2 or 0xF3
  uint32_t repeatTextAt = 0;
  uint32_t repeatTextLength = 0;

  // VEX and EVEX prefixes: the vector length in bytes, W, and the register in vvvv.
  bool vex = false;
  bool vexNaming = false;  // a row of both encodings under VEX: "v" before its names
  uint8_t vectorLength = 16;
  bool vexW = false;
  bool vexLong = false;
  uint8_t vexRegister = 0;
  uint8_t vexPrefix = 0;  // the pp field: 0 none, 1 66, 2 F3, 3 F2
  uint8_t rmClass = 0xFF;  // RegisterClass of the ModR/M operand; 0xFF: by operand size
  bool vsib = false;       // the SIB index names a vector register
  uint8_t modrmByte = 0;

  uint8_t mod = 0;
  uint8_t reg = 0;
  uint8_t rm = 0;
  bool modrmDecoded = false;
  bool registerOperand = false;  // the ModR/M operand names a register: no value
  bool complete = false;

  const char* sizeKeyword = "";
  // The memory operands: the ModR/M one, A0 to A3's, or ds:[esi]; es:[edi].
  MemoryOperand slots[2];
  uint32_t target = 0;  // of a direct branch, or a far pointer's offset
  uint16_t selector = 0;
  bool prefixed = false;  // a legacy prefix came before the opcode

  TextPiece<kMnemonicCapacity> mnemonic;
  TextPiece<kPrefixCapacity> prefix;
  TextPiece<kOperandCapacity> operands;
  TextPiece<kMemoryCapacity> memory;  // the ModR/M operand: memory text or register name
};

// Decodes the instruction at the start of window (count bytes readable, at most 64) at the
// target address; false when it needs bytes past count. The pieces and slots are in state,
// and state.cursor is the length. Without symbols every address is written as a number.
bool DecodeInstruction(DecoderState& state, const uint8_t* window, uint32_t count, uint32_t address,
                       SymbolResolver* symbols);

// The record of an instruction that state holds the decoding of.
void RecordOf(const DecoderState& state, Instruction* record);

// The text of the segment override, or null without one.
const char* OverrideText(const DecoderState& state);

}  // namespace disasm
