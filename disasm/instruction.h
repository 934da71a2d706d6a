// The instruction record: what one decoded instruction does, apart from its text. The code
// that checks call sites and walks code reads it instead of opcode bytes; the listing
// evaluates its memory operands with the register values its caller gives.
#pragma once

#include <stdint.h>

namespace disasm {

// General registers by their encoding number.
enum GeneralRegister : uint8_t { kEax, kEcx, kEdx, kEbx, kEsp, kEbp, kEsi, kEdi, kNoRegister = 0xFF };

// Segment registers by their encoding number.
enum SegmentRegister : uint8_t { kEs, kCs, kSs, kDs, kFs, kGs };

enum class Flow : uint8_t {
  kNone,             // goes on with the next instruction (or returns, or traps)
  kCall,
  kJump,
  kConditionalJump,  // jcc, loop, jecxz
};

// A memory operand: segment:[base + index * scale + displacement], size bytes wide.
struct MemoryOperand {
  uint8_t base = kNoRegister;
  uint8_t index = kNoRegister;  // a vector index (VSIB) is kNoRegister: it has no one address
  uint8_t scale = 1;
  uint8_t segment = kDs;  // the override prefix's when there is one
  uint32_t displacement = 0;
  uint32_t size = 0;       // the bytes a listing shows of it; 0: none
  bool address16 = false;  // the address wraps at 64 KiB
};

struct Instruction {
  uint32_t length = 0;
  bool prefixed = false;  // a legacy prefix (66, 67, F0, F2, F3, a segment) stands before the opcode
  Flow flow = Flow::kNone;
  bool indirect = false;  // the target comes from a register or memory
  bool farTarget = false;  // the target names a code segment too
  uint32_t target = 0;    // direct: the target (a far one's offset)
  uint16_t selector = 0;  // direct far: the target's segment
  uint32_t memoryCount = 0;
  MemoryOperand memory[2];
};

// The values of the general registers, by encoding number, that memory operands are
// evaluated with.
struct RegisterValues {
  uint32_t general[8] = {};
};

uint32_t EffectiveAddress(const MemoryOperand& operand, const RegisterValues& registers);

// "ds:" and the like.
const char* SegmentText(uint8_t segment);

// Decodes the record of the instruction at the start of window (count bytes readable, at
// most 64 are used) at address; false when it needs bytes past count.
bool DecodeRecord(const uint8_t* window, uint32_t count, uint32_t address, Instruction* record);

}  // namespace disasm
