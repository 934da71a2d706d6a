// Constant opcode tables of the disassembler: the primary table (one-byte opcodes and the
// mapped two-byte opcodes), the group mnemonics, the extension rows for the x87 escapes and
// the ModR/M-selected groups, and the register and keyword texts the decoder writes.
#pragma once

#include <stdint.h>

namespace disasm {

// An operand script is a sequence of bytes: the class in the two high bits says what follows
// the operation in the six low bits.
enum ScriptClass : uint8_t {
  kClassGoOn = 0,         // next script byte
  kClassDecodeModRM = 1,  // decode ModR/M (once per instruction), then go on
  kClassComma = 2,        // append "," to the operand text, then go on
  kClassComplete = 3,     // the instruction is complete
};

enum class Operation : uint8_t {
  FarPointer = 0x00,
  AddressSizePrefix = 0x01,
  RegAL = 0x02,
  WidenMnemonic = 0x03,  // argument: position
  RegAccumulator = 0x04,
  Reg8FromOpcode = 0x05,
  Reg8FromReg = 0x06,
  Reg8Fixed = 0x07,  // argument: register number
  SizeByte = 0x08,
  Literal = 0x09,  // argument: character
  SystemRegister = 0x0A,
  SizeDword = 0x0B,
  SizeDwordForce32 = 0x0C,
  X87Dispatch = 0x0D,
  SizeFarPointer = 0x0E,
  GroupMnemonic = 0x0F,  // argument: group row
  ExtensionRow = 0x10,   // argument: extension row
  Imm8 = 0x11,
  StReg = 0x12,
  StRegSt = 0x13,
  ImmOperandSize = 0x14,
  Imm16 = 0x15,
  ModRMWithSize = 0x16,
  ModRM = 0x17,
  Nothing = 0x18,
  MemoryOffset = 0x19,
  TwoByteEscape = 0x1A,
  OperandSizePrefix = 0x1B,
  SizeQword = 0x1C,
  RelWide = 0x1D,
  Rel8 = 0x1E,
  ListedPrefix = 0x1F,
  SegmentPrefix = 0x20,
  SegRegFromOpcode = 0x21,
  SegRegFromReg = 0x22,
  StStReg = 0x23,
  StringOperands = 0x24,  // argument: value slot mask
  SizeTbyte = 0x25,
  Port8 = 0x26,
  SizeWordOrDword = 0x27,
  RegFromOpcode = 0x28,
  RegFromReg = 0x29,
  SizeWord = 0x2A,
  Reg16FromReg = 0x2B,
  Reg16Fixed = 0x2C,  // argument: register number
  // The operations of the instructions beyond the 80486 (MMX, SSE, AVX and the rest).
  SimdSize = 0x2D,          // argument: register class << 4 | size code of the ModR/M operand
  SimdReg = 0x2E,           // argument: register class; the register of the ModR/M reg field
  VexSource = 0x2F,         // argument: register class (| 0x40: register forms only); "vvvv," under VEX
  VexRegister = 0x30,       // argument: register class; the register named by VEX.vvvv
  ThreeByteEscape = 0x31,   // argument: map (2: 0F 38, 3: 0F 3A)
  VexPrefix = 0x32,         // argument: VEX length (2: C5, 3: C4); else the script goes on
  EvexPrefix = 0x33,        // 62 with a register-form next byte; else the script goes on
  RegFromImm = 0x34,        // argument: register class; the register in bits 4..7 of an imm8
  RepeatForm = 0x35,        // argument: index into kRepeatForms; the name after a F3 prefix
  VexWSuffix = 0x36,        // argument: the letter for W0 ('s' gives 'd', 'd' gives 'q' for W1)
  ExtensionRowByMod = 0x37, // argument: extension row for memory forms, the next for registers
  AlternateName = 0x38,     // argument: index into kAlternateNames
  SkipImm8 = 0x39,          // one byte consumed and not shown
  RegisterForm = 0x3A,      // 0F 01 with a register operand: the instruction named by the ModR/M byte
  // 0x3B to 0x3F do nothing.
};

inline ScriptClass ClassOf(uint8_t scriptByte) { return static_cast<ScriptClass>(scriptByte >> 6); }
inline Operation OperationOf(uint8_t scriptByte) { return static_cast<Operation>(scriptByte & 0x3F); }
// The operations that are followed by one argument byte, as a bit mask by operation code:
// the seven of the 80486 tables and the later ones with an argument.
constexpr uint64_t kArgumentMask =
    1ull << 0x03 | 1ull << 0x07 | 1ull << 0x09 | 1ull << 0x0F | 1ull << 0x10 | 1ull << 0x24 | 1ull << 0x2C |
    1ull << 0x2D | 1ull << 0x2E | 1ull << 0x2F | 1ull << 0x30 | 1ull << 0x31 | 1ull << 0x32 | 1ull << 0x34 |
    1ull << 0x35 | 1ull << 0x36 | 1ull << 0x37 | 1ull << 0x38;
// True for the operations that are followed by one argument byte.
inline bool HasArgument(Operation operation) { return (kArgumentMask >> static_cast<uint8_t>(operation)) & 1; }

struct OpcodeRow {
  const char* mnemonic;
  const uint8_t* script;
};

// Register classes of the operations beyond the 80486.
enum RegisterClass : uint8_t {
  kRegGpr32 = 0,   // eax..edi whatever the operand size
  kRegMmx = 1,     // mm0..mm7
  kRegXmm = 2,     // xmm0..xmm7
  kRegVector = 3,  // xmm, ymm or zmm by the vector length of a VEX or EVEX prefix
  kRegLegacy = 0xFF,  // the tables' own rule for ModR/M registers (by operand size)
};

// Size codes of SimdSize: the memory operand's size.
enum SimdSizeCode : uint8_t {
  kSizeNone = 0,
  kSize8 = 1,
  kSize16 = 2,
  kSize32 = 3,
  kSize64 = 4,
  kSize128 = 5,
  kSizeVector = 6,         // the vector length (16, or 32/64 under VEX.L/EVEX.L'L)
  kSizeHalfVector = 7,     // half of it
  kSizeQuarterVector = 8,  // a quarter
  kSizeEighthVector = 9,   // an eighth
  kSizeScalarByW = 10,     // 4, or 8 with VEX.W
  kSizeVsib = 11,          // a gather's memory operand: vector index, no value shown
};

// A replacement mnemonic and the condition under which AlternateName applies it.
enum AlternateCondition : uint8_t {
  kWhenRegister = 0,  // the ModR/M operand is a register
  kWhenModRM = 1,     // the ModR/M byte equals value
  kWhenVexLong = 2,   // VEX.L is 1
  kWhenMemory = 3,    // the ModR/M operand is in memory
};
struct AlternateNameRow {
  AlternateCondition condition;
  uint8_t value;
  bool complete;  // the instruction ends here, without operands
  const char* mnemonic;
};
extern const AlternateNameRow kAlternateNames[];
constexpr uint32_t kAlternateNameCount = 7;
// AlternateName arguments of the forms that the processor leaves undefined ("???", without
// operands; the ModR/M operand is consumed): a register where the instruction takes memory
// only, or memory where it takes a register only.
constexpr uint8_t kMemoryOnly = 5;
constexpr uint8_t kRegisterOnly = 6;
// The names of 90, 0F BC and 0F BD after a F3 prefix.
extern const char* const kRepeatForms[];
constexpr uint32_t kRepeatFormCount = 3;

constexpr uint32_t kPrimaryRowCount = 356;
constexpr uint32_t kGroupRowCount = 5;
constexpr uint32_t kExtensionRowCount = 38;
constexpr uint32_t kEntriesPerRow = 8;

// Rows 0x000..0x0FF: one-byte opcodes; 0x100..0x163: two-byte opcodes by TwoByteIndex.
extern const OpcodeRow kPrimaryTable[];
// 0F 01 with a register operand, by (reg, rm): the instructions without operands that the
// ModR/M byte names; null for reg 4 and 6 (smsw, lmsw take the register as their operand).
extern const char* const kDescriptorRegisterForms[kEntriesPerRow][kEntriesPerRow];

// Mnemonic texts by (group row, ModR/M reg).
extern const char* const kGroupTable[][kEntriesPerRow];
// Entries by (extension row, reg or rm).
extern const OpcodeRow kExtensionTable[][kEntriesPerRow];

// The primary row of the two-byte opcode 0F xx.
uint32_t TwoByteIndex(uint8_t secondByte);

constexpr uint32_t kFirstTwoByteRow = 0x100;

// Register and operand texts.
extern const char kRegisterNames[];   // two letters each: al..bh (0..7), ax..di (8..15)
extern const char kSegmentLetters[];  // es cs ss ds fs gs by number 0..5
extern const char* const kMemoryRegisters[8];  // eax..edi
extern const char* const kMemoryForms16[8];    // bx+si .. bx by rm
extern const char kHexDigits[];

extern const char kSizeByte[];
extern const char kSizeWord[];
extern const char kSizeDword[];
extern const char kSizeQword[];
extern const char kSizeTbyte[];
extern const char kSizeFword[];
extern const char kSizeXmmword[];
extern const char kSizeYmmword[];
extern const char kSizeZmmword[];

extern const char kStRegSt[];   // "st(0),st"
extern const char kStComma[];   // "st,"
extern const char kStRegister[];  // "st(0)"

extern const char kSegmentDs[];  // value slot 0 by default
extern const char kSegmentEs[];  // value slot 1
extern const char kSegmentSs[];  // stack-based memory operands

extern const char kUnknownMnemonic[];  // "???"
extern const char kCwde[];
extern const char kJecxz[];

}  // namespace disasm
