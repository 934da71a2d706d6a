#include "disasm/decoder.h"

#include "disasm/disassemble.h"
#include "disasm/prefixed_maps.h"
#include "disasm/tables.h"

namespace disasm {

namespace {

// The paths of the instructions after the 80486 stay out of line, so that the common
// instructions' decoding loop keeps its size.
#define RARE __attribute__((noinline, cold))

// What a decoding works out beyond the length: the record (flow target, memory operands),
// and the text as well. The length alone stays the fastest, for the code walks.
enum class Mode { kLength, kRecord, kListing };
constexpr bool Records(Mode mode) { return mode != Mode::kLength; }
constexpr bool Lists(Mode mode) { return mode == Mode::kListing; }

// The one way to the code bytes: n bytes at the cursor, or null (and the instruction is cut)
// when they reach past the bytes read.
inline const uint8_t* Take(DecoderState& s, uint32_t n) {
  if (n > s.count - s.cursor) {
    s.cut = true;
    return nullptr;
  }
  const uint8_t* bytes = s.window + s.cursor;
  s.cursor += n;
  return bytes;
}

inline uint32_t LittleEndian(const uint8_t* bytes, uint32_t size) {
  uint32_t value = 0;
  for (uint32_t i = size; i > 0; --i) value = (value << 8) | bytes[i - 1];
  return value;
}

inline void StoreLittleEndian(uint8_t* bytes, uint32_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
  bytes[2] = static_cast<uint8_t>(value >> 16);
  bytes[3] = static_cast<uint8_t>(value >> 24);
}

void AppendRegister8(Text& text, uint32_t number) { text.Append(kRegisterNames + 2 * (number & 7), 2); }

void AppendRegister16(Text& text, uint32_t number) { text.Append(kRegisterNames + 2 * ((number & 7) + 8), 2); }

// A register of the operand size.
void AppendRegister(const DecoderState& s, Text& text, uint32_t number) {
  if (s.registers32) text.Append('e');
  AppendRegister16(text, number);
}

void AppendSegmentRegister(Text& text, uint32_t number) {
  if (number < 6) {
    text.Append(kSegmentLetters[number]);
    text.Append('s');
  } else {
    text.Append("??");  // numbers 6 and 7 name no segment register
  }
}

void AppendStRegister(Text& text, uint8_t number) {
  text.Append(kStRegister, 3);
  text.Append(static_cast<char>('0' + number));
  text.Append(')');
}

void SetSize(DecoderState& s, const char* keyword, uint32_t size) {
  s.sizeKeyword = keyword;
  if (!s.registerOperand) s.slots[0].size = size;
}

// A register of the classes after the 80486: mm, xmm, ymm, zmm by number, or a 32-bit one.
void AppendClassRegister(const DecoderState& s, Text& text, uint8_t registerClass, uint32_t number) {
  switch (registerClass) {
    case kRegMmx:
      text.Append("mm");
      break;
    case kRegXmm:
      text.Append("xmm");
      break;
    case kRegVector:
      text.Append(s.vectorLength == 64 ? "zmm" : s.vectorLength == 32 ? "ymm" : "xmm");
      break;
    default:
      text.Append('e');
      AppendRegister16(text, number);
      return;
  }
  text.Append(static_cast<char>('0' + (number & 7)));
}

// The memory size of a SimdSize code; the vector length follows VEX.L (or EVEX.L'L).
uint32_t SimdBytes(const DecoderState& s, uint8_t code) {
  switch (code) {
    case kSize8: return 1;
    case kSize16: return 2;
    case kSize32: return 4;
    case kSize64: return 8;
    case kSize128: return 16;
    case kSizeVector: return s.vectorLength;
    case kSizeHalfVector: return s.vectorLength / 2u;
    case kSizeQuarterVector: return s.vectorLength / 4u;
    case kSizeEighthVector: return s.vectorLength / 8u;
    case kSizeScalarByW: return s.vexW ? 8 : 4;
    default: return 0;
  }
}

// Size keyword and value slot of a SIMD memory operand. A value wider than a qword shows
// its first dword only: the whole of it would not leave the line readable, and the reader
// gets no more than was there (nothing past the operand is read).
void SetSimdSize(DecoderState& s, uint32_t bytes) {
  const char* keyword = "";
  switch (bytes) {
    case 1: keyword = kSizeByte; break;
    case 2: keyword = kSizeWord; break;
    case 4: keyword = kSizeDword; break;
    case 8: keyword = kSizeQword; break;
    case 16: keyword = kSizeXmmword; break;
    case 32: keyword = kSizeYmmword; break;
    case 64: keyword = kSizeZmmword; break;
    default: break;
  }
  SetSize(s, keyword, bytes > 8 ? 4 : bytes);
}

inline void Dispatch(DecoderState& s, uint32_t row, uint8_t opcode, bool listing) {
  s.opcode = opcode;
  if (listing) s.mnemonic.Append(kPrimaryTable[row].mnemonic);
  s.script = kPrimaryTable[row].script;
}

inline bool DispatchNext(DecoderState& s, bool listing) {
  const uint8_t* next = Take(s, 1);
  if (next == nullptr) return false;
  Dispatch(s, *next, *next, listing);
  return true;
}

inline void RunEntry(DecoderState& s, const OpcodeRow& entry, bool listing) {
  if (listing) s.mnemonic.Append(entry.mnemonic);
  s.script = entry.script;
}

// A branch target: the address past the displacement plus the displacement, written with
// width bytes (the low 16 bits only for 2).
template <Mode kMode>
bool BranchTarget(DecoderState& s, SymbolResolver* symbols, uint32_t size, uint32_t width) {
  const uint8_t* bytes = Take(s, size);
  if (bytes == nullptr) return false;
  if (!Records(kMode)) return true;
  uint32_t displacement = LittleEndian(bytes, size);
  if (size == 1) displacement = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(displacement)));
  if (size == 2) displacement = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(displacement)));
  uint8_t target[4];
  StoreLittleEndian(target, s.address + s.cursor + displacement);
  s.target = LittleEndian(target, width);
  if (Lists(kMode)) AppendSymbolic(s.operands, symbols, target, width);
  return true;
}

// mod 3: the ModR/M operand names a register, and there is no value to show.
template <Mode kMode>
void DecodeRegisterOperand(DecoderState& s) {
  if (Lists(kMode) && s.rmClass != kRegLegacy) {
    AppendClassRegister(s, s.memory, s.rmClass, s.rm);
  } else if (Lists(kMode)) {
    if (s.slots[0].size <= 1) {
      AppendRegister8(s.memory, s.rm);
    } else {
      if (s.registers32 && !s.wordSource) s.memory.Append('e');
      AppendRegister16(s.memory, s.rm);
    }
  }
  s.registerOperand = true;
  s.slots[0].size = 0;
}

// A memory operand that is an address of size bytes and nothing else.
template <Mode kMode>
bool DirectAddress(DecoderState& s, SymbolResolver* symbols, uint32_t size) {
  const uint8_t* direct = Take(s, size);
  if (direct == nullptr) return false;
  if (Records(kMode)) s.slots[0].displacement = LittleEndian(direct, size);
  if (Lists(kMode)) AppendSymbolic(s.memory, symbols, direct, size);
  return true;
}

// 16-bit addressing: the r/m field picks one of eight fixed sums of bx, bp, si and di.
template <Mode kMode>
bool DecodeMemory16(DecoderState& s, SymbolResolver* symbols) {
  static constexpr uint8_t kBase[8] = {kEbx, kEbx, kEbp, kEbp, kEsi, kEdi, kEbp, kEbx};
  static constexpr uint8_t kIndex[8] = {kEsi, kEdi, kEsi, kEdi, kNoRegister, kNoRegister, kNoRegister, kNoRegister};
  MemoryOperand& slot = s.slots[0];
  slot.address16 = true;
  if (Lists(kMode)) s.memory.Append('[');
  if (s.mod == 0 && s.rm == 6) return DirectAddress<kMode>(s, symbols, 2);
  if (Lists(kMode)) s.memory.Append(kMemoryForms16[s.rm]);
  if (!Records(kMode)) return true;
  slot.base = kBase[s.rm];
  slot.index = kIndex[s.rm];
  if (slot.base == kEbp) slot.segment = kSs;
  return true;
}

// "+index*scale" of a SIB byte. A vector index (VSIB) has no single address to show a value of.
template <Mode kMode>
void DecodeIndex(DecoderState& s, uint8_t index, uint8_t scale) {
  const uint32_t factor = 1u << scale;
  if (Records(kMode) && !s.vsib) {
    s.slots[0].index = index;
    s.slots[0].scale = static_cast<uint8_t>(factor);
  }
  if (!Lists(kMode)) return;
  s.memory.Append('+');
  if (s.vsib) {
    AppendClassRegister(s, s.memory, kRegVector, index);
  } else {
    s.memory.Append(kMemoryRegisters[index]);
  }
  if (factor != 1) {
    s.memory.Append('*');
    s.memory.Append(static_cast<char>('0' + factor));
  }
}

// 32-bit addressing: a base register or an address, and the index of a SIB byte.
template <Mode kMode>
bool DecodeMemory32(DecoderState& s, SymbolResolver* symbols) {
  uint8_t base = s.rm;
  bool sib = false;
  uint8_t scale = 0;
  uint8_t index = 0;
  if (s.rm == 4) {
    const uint8_t* sibByte = Take(s, 1);
    if (sibByte == nullptr) return false;
    sib = true;
    scale = *sibByte >> 6;
    index = (*sibByte >> 3) & 7;
    base = *sibByte & 7;
  }
  if (Lists(kMode)) s.memory.Append('[');
  if (s.mod == 0 && base == 5) {
    if (!DirectAddress<kMode>(s, symbols, 4)) return false;
  } else {
    if (Lists(kMode)) s.memory.Append(kMemoryRegisters[base]);
    if (Records(kMode)) s.slots[0].base = base;
    if (Records(kMode) && (base == kEsp || base == kEbp)) s.slots[0].segment = kSs;
  }
  if (Records(kMode) && sib && (index != 4 || s.vsib)) DecodeIndex<kMode>(s, index, scale);
  return true;
}

// The displacement of mod 1 (a signed byte) and mod 2 (of the address size).
template <Mode kMode>
bool DecodeDisplacement(DecoderState& s) {
  if (s.mod != 1 && s.mod != 2) return true;
  const uint32_t size = s.mod == 1 ? 1 : (s.addressing32 ? 4 : 2);
  const uint8_t* displacement = Take(s, size);
  if (displacement == nullptr) return false;
  if (Lists(kMode)) AppendNumber(s.memory, displacement, size, true);
  if (!Records(kMode)) return true;
  uint32_t value = LittleEndian(displacement, size);
  if (size == 1) value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(value)));
  s.slots[0].displacement += value;
  return true;
}

template <Mode kMode>
bool DecodeModRM(DecoderState& s, SymbolResolver* symbols) {
  const uint8_t* byte = Take(s, 1);
  if (byte == nullptr) return false;
  s.modrmDecoded = true;
  s.modrmByte = *byte;
  s.mod = *byte >> 6;
  s.reg = (*byte >> 3) & 7;
  s.rm = *byte & 7;
  if (s.mod == 3) {
    DecodeRegisterOperand<kMode>(s);
    return true;
  }
  const bool addressed = s.addressing32 ? DecodeMemory32<kMode>(s, symbols) : DecodeMemory16<kMode>(s, symbols);
  if (!addressed || !DecodeDisplacement<kMode>(s)) return false;
  if (Lists(kMode)) s.memory.Append(']');
  return true;
}

// A F2 or F3 prefix that selects the instruction is no printed prefix.
template <Mode kMode>
RARE void TakeRepeatPrefix(DecoderState& s) {
  if (Lists(kMode)) {
    s.prefix.Erase(s.repeatTextAt, s.repeatTextLength);
    if (s.prefix.c_str()[0] == ' ') s.prefix.Erase(0, 1);
  }
  s.repeatPrefix = 0;
}

// A row chosen without F2/F3 of its own: a F2 or F3 that stands before it, or a 66 that it
// does not take as its mandatory prefix, leaves the opcode undefined unless the row is one
// of the general-purpose instructions, where they keep their own meaning.
bool AcceptsOtherPrefixes(const DecoderState& s, const PrefixedRow& row) {
  if (s.repeatPrefix != 0 && (row.encodings & kRepeatPrefixable) == 0) return false;
  if (s.operandPrefix && row.prefix != kPrefix66 && (row.encodings & kSizePrefixable) == 0) return false;
  return true;
}

// Dispatches opcode of map (1: 0F, 2: 0F 38, 3: 0F 3A) by its mandatory prefix: under VEX
// the pp field alone; otherwise the last F2/F3, then 66, then none, the first that the map
// has a row for. A prefix that selects the row is no longer a prefix of its own.
template <Mode kMode>
RARE void DispatchPrefixed(DecoderState& s, uint32_t map, uint8_t opcode) {
  s.opcode = opcode;
  s.map = static_cast<uint8_t>(map);
  uint32_t count = 0;
  const PrefixedRow* rows = PrefixedRows(map, opcode, &count);
  const PrefixedRow* chosen = nullptr;
  if (s.vex) {
    for (uint32_t i = 0; i < count && chosen == nullptr; ++i)
      if (rows[i].prefix == s.vexPrefix && (rows[i].encodings & kVex) != 0) chosen = &rows[i];
  } else {
    MandatoryPrefix order[3];
    uint32_t candidates = 0;
    if (s.repeatPrefix != 0) order[candidates++] = s.repeatPrefix == 0xF3 ? kPrefixF3 : kPrefixF2;
    if (s.operandPrefix) order[candidates++] = kPrefix66;
    order[candidates++] = kNoPrefix;
    for (uint32_t k = 0; k < candidates && chosen == nullptr; ++k)
      for (uint32_t i = 0; i < count && chosen == nullptr; ++i)
        if (rows[i].prefix == order[k] && (rows[i].encodings & kLegacy) != 0) chosen = &rows[i];
    if (chosen != nullptr && (chosen->prefix == kPrefixF3 || chosen->prefix == kPrefixF2)) {
      TakeRepeatPrefix<kMode>(s);
    } else if (chosen != nullptr && !AcceptsOtherPrefixes(s, *chosen)) {
      TakeRepeatPrefix<kMode>(s);  // part of the undefined opcode, not a prefix of its own
      chosen = nullptr;
    } else if (chosen != nullptr && chosen->prefix == kPrefix66) {
      s.operandSize = 4;
      s.registers32 = true;
    }
  }
  if (chosen == nullptr) {
    if (Lists(kMode)) s.mnemonic.Append(kUnknownMnemonic);
    s.script = map == kMap0F && !s.vex ? kUnknownNoOperands : map == kMap0F3A ? kUnknownModRMImm8 : kUnknownModRM;
    return;
  }
  s.vexNaming = s.vex && (chosen->encodings & kBoth) == kBoth;
  if (Lists(kMode)) {
    if (s.vexNaming) s.mnemonic.Append('v');
    s.mnemonic.Append(chosen->mnemonic);
  }
  s.script = chosen->script;
}

// C4 and C5: in 32-bit code les and lds take a memory operand, so a next byte with both top
// bits set starts a VEX prefix instead (its R and X, or R and vvvv, inverted).
template <Mode kMode>
RARE bool VexOrLegacy(DecoderState& s, uint8_t length) {
  if (s.cursor >= s.count) {
    s.cut = true;
    return false;
  }
  if ((s.window[s.cursor] >> 6) != 3) return true;  // les/lds: the script goes on
  const uint8_t* bytes = Take(s, length - 1u);
  if (bytes == nullptr) return false;
  uint32_t map = kMap0F;
  uint8_t last = bytes[0];
  if (length == 3) {
    map = bytes[0] & 0x1F;
    last = bytes[1];
    s.vexW = (last & 0x80) != 0;
  }
  s.vex = true;
  s.vexRegister = static_cast<uint8_t>((~last >> 3) & 7);
  s.vexLong = (last & 4) != 0;
  s.vectorLength = s.vexLong ? 32 : 16;
  s.vexPrefix = static_cast<uint8_t>(last & 3);
  if (Lists(kMode)) s.mnemonic.Clear();
  const uint8_t* opcode = Take(s, 1);
  if (opcode == nullptr) return false;
  DispatchPrefixed<kMode>(s, map, *opcode);
  return true;
}

// 62: bound takes a memory operand, so a next byte with both top bits set starts an EVEX
// prefix (AVX-512): four bytes, then the opcode of map 1, 2 or 3 and its ModR/M operand.
template <Mode kMode>
RARE bool EvexOrLegacy(DecoderState& s) {
  if (s.cursor >= s.count) {
    s.cut = true;
    return false;
  }
  if ((s.window[s.cursor] >> 6) != 3) return true;  // bound: the script goes on
  const uint8_t* bytes = Take(s, 3);
  if (bytes == nullptr) return false;
  s.vex = true;
  s.vexW = (bytes[1] & 0x80) != 0;
  s.vexRegister = static_cast<uint8_t>((~bytes[1] >> 3) & 7);
  s.vexPrefix = static_cast<uint8_t>(bytes[1] & 3);
  const uint32_t lengthCode = (bytes[2] >> 5) & 3;
  s.vexLong = lengthCode != 0;
  s.vectorLength = static_cast<uint8_t>(lengthCode == 0 ? 16 : lengthCode == 1 ? 32 : 64);
  if (Lists(kMode)) s.mnemonic.Clear();
  const uint8_t* opcode = Take(s, 1);
  if (opcode == nullptr) return false;
  const uint32_t map = bytes[0] & 7;
  DispatchPrefixed<kMode>(s, map, *opcode);
  // Map 1 opcodes that carry an immediate under EVEX whatever row they fall to.
  if (map == kMap0F && s.script == kUnknownModRM) {
    const uint8_t op = *opcode;
    if ((op >= 0x70 && op <= 0x73) || op == 0xC2 || (op >= 0xC4 && op <= 0xC6)) s.script = kUnknownModRMImm8;
  }
  return true;
}

// The register class and memory size of a SIMD operand; a group member names its ModR/M
// register only now that its class is known.
template <Mode kMode>
void RunSimdSize(DecoderState& s, uint8_t argument) {
  s.rmClass = argument >> 4;
  if ((argument & 15) == kSizeVsib) {
    s.vsib = true;
    s.sizeKeyword = "";
    return;
  }
  SetSimdSize(s, SimdBytes(s, argument & 15));
  if (Lists(kMode) && s.modrmDecoded && s.registerOperand) {
    s.memory.Clear();
    AppendClassRegister(s, s.memory, s.rmClass, s.rm);
  }
}

template <Mode kMode>
bool TakeRegisterFromImmediate(DecoderState& s, uint8_t registerClass) {
  const uint8_t* immediate = Take(s, 1);
  if (immediate == nullptr) return false;
  if (Lists(kMode)) AppendClassRegister(s, s.operands, registerClass, *immediate >> 4);
  return true;
}

const char* SystemRegisterName(uint8_t opcode) {
  if (opcode == 0x24 || opcode == 0x26) return "tr";
  return opcode == 0x21 || opcode == 0x23 ? "dr" : "cr";
}

// The operations that only write a register name or a character into the operands.
void RunNameOperation(DecoderState& s, Operation operation, uint8_t argument) {
  Text& out = s.operands;
  switch (operation) {
    case Operation::RegAL: AppendRegister8(out, 0); break;
    case Operation::RegAccumulator: AppendRegister(s, out, 0); break;
    case Operation::Reg8FromOpcode: AppendRegister8(out, s.opcode & 7); break;
    case Operation::Reg8FromReg: AppendRegister8(out, s.reg); break;
    case Operation::Reg8Fixed: AppendRegister8(out, argument); break;
    case Operation::RegFromOpcode: AppendRegister(s, out, s.opcode & 7u); break;
    case Operation::RegFromReg: AppendRegister(s, out, s.reg); break;
    case Operation::Reg16FromReg: AppendRegister16(out, s.reg); break;
    case Operation::Reg16Fixed: AppendRegister16(out, argument); break;
    case Operation::SegRegFromOpcode: AppendSegmentRegister(out, (s.opcode >> 3) & 7u); break;
    case Operation::SegRegFromReg: AppendSegmentRegister(out, s.reg); break;
    case Operation::SimdReg: AppendClassRegister(s, out, argument, s.reg); break;
    case Operation::VexRegister: AppendClassRegister(s, out, argument, s.vexRegister); break;
    case Operation::Literal: out.Append(static_cast<char>(argument)); break;
    case Operation::StReg: AppendStRegister(out, s.rm); break;
    case Operation::StRegSt:
      AppendStRegister(out, s.rm);
      out.Append(kStRegSt + 5);  // ",st"
      break;
    case Operation::StStReg:
      out.Append(kStComma);
      AppendStRegister(out, s.rm);
      break;
    case Operation::SystemRegister:
      out.Append(SystemRegisterName(s.opcode));
      out.Append(static_cast<char>('0' + s.reg));
      break;
    case Operation::VexSource:
      if (s.vex && ((argument & 0x40) == 0 || s.registerOperand)) {
        AppendClassRegister(s, out, argument & 0x3F, s.vexRegister);
        out.Append(',');
      }
      break;
    case Operation::ModRMWithSize:
    case Operation::ModRM:
      if (operation == Operation::ModRMWithSize && !s.registerOperand) out.Append(s.sizeKeyword);
      if (s.segmentOverride != 0) out.Append(OverrideText(s));
      out.Append(s.memory.c_str());
      break;
    default: break;
  }
}

// An immediate of size bytes; aam and aad divide and multiply by their base, and 10, the
// decimal one, is shown bare.
template <Mode kMode>
bool TakeImmediate(DecoderState& s, uint32_t size) {
  const uint8_t* immediate = Take(s, size);
  if (immediate == nullptr) return false;
  const bool decimalBase = size == 1 && s.map == 0 && (s.opcode == 0xD4 || s.opcode == 0xD5) && *immediate == 10;
  if (Lists(kMode) && !decimalBase) AppendNumber(s.operands, immediate, size, false);
  return true;
}

template <Mode kMode>
bool TakeFarPointer(DecoderState& s, SymbolResolver* symbols) {
  const uint8_t* offset = Take(s, s.operandSize);
  if (offset == nullptr) return false;
  const uint8_t* selector = Take(s, 2);
  if (selector == nullptr) return false;
  if (Records(kMode)) {
    s.target = LittleEndian(offset, s.operandSize);
    s.selector = static_cast<uint16_t>(LittleEndian(selector, 2));
  }
  if (Lists(kMode)) {
    AppendHexValue(s.operands, selector, 2);
    s.operands.Append(':');
    AppendSymbolic(s.operands, symbols, offset, s.operandSize);
  }
  return true;
}

// A0 to A3: the memory operand is an address of the address size.
template <Mode kMode>
bool TakeMemoryOffset(DecoderState& s, SymbolResolver* symbols) {
  const uint8_t* offset = Take(s, s.addressSize);
  if (offset == nullptr) return false;
  if (Records(kMode)) {
    s.slots[0].displacement = LittleEndian(offset, s.addressSize);
    s.slots[0].size = (s.opcode & 1) == 0 ? 1 : s.operandSize;
  }
  if (Lists(kMode)) {
    if (s.segmentOverride != 0) s.operands.Append(OverrideText(s));
    s.operands.Append('[');
    AppendSymbolic(s.operands, symbols, offset, s.addressSize);
    s.operands.Append(']');
  }
  return true;
}

template <Mode kMode>
bool TakePort(DecoderState& s) {
  const uint8_t* port = Take(s, 1);
  if (port == nullptr) return false;
  if (Lists(kMode)) AppendHexValue(s.operands, port, 1);
  return true;
}

// E3 is jecxz, not jcxz, with 32-bit addressing.
template <Mode kMode>
bool TakeShortBranch(DecoderState& s, SymbolResolver* symbols) {
  if (Lists(kMode) && s.opcode == 0xE3 && s.addressing32) {
    s.mnemonic.Clear();
    s.mnemonic.Append(kJecxz);
  }
  return BranchTarget<kMode>(s, symbols, 1, s.addressSize);
}

// F2, F3, F0 and the like: listed before the mnemonic, and the first two remembered, since
// they may turn out to select the instruction.
template <Mode kMode>
bool TakeListedPrefix(DecoderState& s) {
  s.prefixed = true;
  const uint32_t at = s.prefix.length();
  if (Lists(kMode)) {
    if (!s.prefix.empty()) s.prefix.Append(' ');
    s.prefix.Append(s.mnemonic.c_str());
    s.mnemonic.Clear();
  }
  if (s.opcode == 0xF2 || s.opcode == 0xF3) {
    s.repeatPrefix = s.opcode;
    s.repeatTextAt = at;
    s.repeatTextLength = s.prefix.length() - at;
  }
  return DispatchNext(s, Lists(kMode));
}

template <Mode kMode>
bool TakeTwoByteEscape(DecoderState& s) {
  const uint8_t* second = Take(s, 1);
  if (second == nullptr) return false;
  s.wordSource = *second == 0xB7 || *second == 0xBF;
  s.map = kMap0F;
  if (*second == 0x38 || *second == 0x3A) {
    const uint8_t* third = Take(s, 1);
    if (third == nullptr) return false;
    DispatchPrefixed<kMode>(s, *second == 0x38 ? kMap0F38 : kMap0F3A, *third);
    return true;
  }
  const uint32_t row = TwoByteIndex(*second);
  // Only what the 80486 map leaves open takes the later readings.
  if (kPrimaryTable[row].mnemonic[0] == '?') {
    DispatchPrefixed<kMode>(s, kMap0F, *second);
  } else {
    Dispatch(s, row, *second, Lists(kMode));
  }
  return true;
}

// 67, 66 and the segment overrides: each goes on to the next opcode byte.
bool TakeAddressSizePrefix(DecoderState& s, bool listing) {
  s.prefixed = true;
  s.addressSize = 2;
  s.addressing32 = false;
  return DispatchNext(s, listing);
}

bool TakeOperandSizePrefix(DecoderState& s, bool listing) {
  s.prefixed = true;
  s.operandSize = 2;
  s.registers32 = false;
  s.operandPrefix = true;
  return DispatchNext(s, listing);
}

bool TakeSegmentPrefix(DecoderState& s, bool listing) {
  s.prefixed = true;
  s.segmentOverride = s.opcode;
  if (listing) s.mnemonic.Clear();
  return DispatchNext(s, listing);
}

template <Mode kMode>
bool TakeThreeByteEscape(DecoderState& s, uint8_t map) {
  const uint8_t* next = Take(s, 1);
  if (next == nullptr) return false;
  DispatchPrefixed<kMode>(s, map, *next);
  return true;
}

void RunX87Dispatch(DecoderState& s, bool listing) {
  uint32_t row = (s.opcode & 7u) * 2 + (s.mod == 3 ? 1 : 0);
  uint32_t entry = s.reg;
  if (row == 3 && s.reg >= 4) {
    row = s.reg + 12u;
    entry = s.rm;
  } else if (row == 7) {
    entry = s.reg == 4 ? s.rm : 7;
  }
  RunEntry(s, kExtensionTable[row][entry], listing);
}

// The name the row gives under a condition of its ModR/M operand or VEX.L; an undefined
// form has no operands, nor values, to show.
template <Mode kMode>
void RunAlternateName(DecoderState& s, uint8_t argument) {
  const AlternateNameRow& alternate = kAlternateNames[argument % kAlternateNameCount];
  const bool applies = alternate.condition == kWhenRegister ? s.registerOperand
                       : alternate.condition == kWhenMemory ? s.modrmDecoded && !s.registerOperand
                       : alternate.condition == kWhenModRM  ? s.modrmDecoded && s.modrmByte == alternate.value
                                                            : s.vexLong;
  if (!applies) return;
  if (Lists(kMode)) {
    const bool undefined = alternate.mnemonic[0] == '?';
    s.mnemonic.Clear();
    if (s.vexNaming && !undefined) s.mnemonic.Append('v');
    s.mnemonic.Append(alternate.mnemonic);
    if (undefined) {
      s.operands.Clear();
      s.slots[0].size = 0;
      s.slots[1].size = 0;
    }
  }
  if (alternate.complete) s.complete = true;
}

void WidenMnemonic(DecoderState& s, uint8_t position) {
  if (s.operandSize != 4) return;
  if (position == 0) {
    s.mnemonic.Clear();
    s.mnemonic.Append(kCwde);
    return;
  }
  s.mnemonic.PutAndEnd(position, 'd');
  if (position == 1) s.mnemonic.PutAndEnd(2, 'q');
}

// The string instructions' operands: ds:[esi] (bit 0 of the argument) and es:[edi] (bit 1).
template <Mode kMode>
void RunStringOperands(DecoderState& s, uint8_t argument) {
  const uint32_t element = (s.opcode & 1) == 0 ? 1 : s.operandSize;
  if (Lists(kMode) && element == 4) s.mnemonic.Set(4, 'd');
  if (!Records(kMode)) return;
  if (argument & 1) {
    s.slots[0].base = kEsi;
    s.slots[0].size = element;
  }
  if (argument & 2) {
    s.slots[1].base = kEdi;
    s.slots[1].size = element;
  }
}

template <Mode kMode>
void RunRepeatForm(DecoderState& s, uint8_t argument) {
  if (s.repeatPrefix != 0xF3) return;
  TakeRepeatPrefix<kMode>(s);
  if (Lists(kMode)) {
    s.mnemonic.Clear();
    s.mnemonic.Append(kRepeatForms[argument % kRepeatFormCount]);
  }
}

// 0F 01 with a register operand: the instruction named by the ModR/M byte.
template <Mode kMode>
void RunRegisterForm(DecoderState& s) {
  const char* name = s.registerOperand ? kDescriptorRegisterForms[s.reg][s.rm] : nullptr;
  if (name == nullptr) return;
  if (Lists(kMode)) s.mnemonic.Append(name);
  s.complete = true;
}

// Runs one script operation; false when it needed bytes past the window. One case a line:
// the decoding loop's one dispatch.
template <Mode kMode>
bool RunOperation(DecoderState& s, SymbolResolver* symbols, Operation op, uint8_t argument) {
  constexpr bool L = Lists(kMode);
  switch (op) {
    case Operation::SizeByte: SetSize(s, kSizeByte, 1); return true;
    case Operation::SizeWord: SetSize(s, kSizeWord, 2); return true;
    case Operation::SizeDword: SetSize(s, kSizeDword, 4); return true;
    case Operation::SizeQword: SetSize(s, kSizeQword, 8); return true;
    case Operation::SizeTbyte: SetSize(s, kSizeTbyte, 10); return true;
    case Operation::SizeDwordForce32: s.registers32 = true; SetSize(s, kSizeDword, 4); return true;
    case Operation::SizeWordOrDword:
      SetSize(s, s.operandSize == 2 ? kSizeWord : kSizeDword, s.operandSize);
      return true;
    case Operation::SizeFarPointer:  // a 16- or 32-bit offset and the selector
      SetSize(s, s.operandSize == 2 ? kSizeDword : kSizeFword, s.operandSize + 2);
      return true;
    case Operation::SimdSize: RunSimdSize<kMode>(s, argument); return true;
    case Operation::Imm8: return TakeImmediate<kMode>(s, 1);
    case Operation::Imm16: return TakeImmediate<kMode>(s, 2);
    case Operation::ImmOperandSize: return TakeImmediate<kMode>(s, s.operandSize);
    case Operation::SkipImm8: return Take(s, 1) != nullptr;
    case Operation::FarPointer: return TakeFarPointer<kMode>(s, symbols);
    case Operation::MemoryOffset: return TakeMemoryOffset<kMode>(s, symbols);
    case Operation::Port8: return TakePort<kMode>(s);
    case Operation::RegFromImm: return TakeRegisterFromImmediate<kMode>(s, argument);
    // The displacement has the operand size, and a 16-bit one leaves a 16-bit target (the
    // processor clears the upper half of EIP); the address size plays no part in it.
    case Operation::RelWide: return BranchTarget<kMode>(s, symbols, s.operandSize, s.operandSize);
    case Operation::Rel8: return TakeShortBranch<kMode>(s, symbols);
    case Operation::AddressSizePrefix: return TakeAddressSizePrefix(s, L);
    case Operation::OperandSizePrefix: return TakeOperandSizePrefix(s, L);
    case Operation::SegmentPrefix: return TakeSegmentPrefix(s, L);
    case Operation::ListedPrefix: return TakeListedPrefix<kMode>(s);
    case Operation::TwoByteEscape: return TakeTwoByteEscape<kMode>(s);
    case Operation::ThreeByteEscape: return TakeThreeByteEscape<kMode>(s, argument);
    case Operation::VexPrefix: return VexOrLegacy<kMode>(s, argument);
    case Operation::EvexPrefix: return EvexOrLegacy<kMode>(s);
    case Operation::GroupMnemonic: if (L) s.mnemonic.Append(kGroupTable[argument][s.reg]); return true;
    case Operation::ExtensionRow: RunEntry(s, kExtensionTable[argument][s.reg], L); return true;
    case Operation::ExtensionRowByMod:
      RunEntry(s, kExtensionTable[argument + (s.mod == 3 ? 1u : 0u)][s.reg], L);
      return true;
    case Operation::X87Dispatch: RunX87Dispatch(s, L); return true;
    case Operation::AlternateName: RunAlternateName<kMode>(s, argument); return true;
    case Operation::RepeatForm: RunRepeatForm<kMode>(s, argument); return true;
    case Operation::RegisterForm: RunRegisterForm<kMode>(s); return true;
    case Operation::StringOperands: RunStringOperands<kMode>(s, argument); return true;
    case Operation::WidenMnemonic: if (L) WidenMnemonic(s, argument); return true;
    case Operation::VexWSuffix:
      if (L) s.mnemonic.Append(s.vexW ? (argument == 's' ? 'd' : 'q') : static_cast<char>(argument));
      return true;
    case Operation::Nothing: return true;
    default:  // the register names, characters and ModR/M text of the operands
      if (L) RunNameOperation(s, op, argument);
      return true;
  }
}

template <Mode kMode>
bool Decode(DecoderState& s, SymbolResolver* symbols) {
  if (!DispatchNext(s, Lists(kMode))) return false;
  while (!s.complete) {
    const uint8_t scriptByte = *s.script++;
    const Operation operation = OperationOf(scriptByte);
    const uint8_t argument = HasArgument(operation) ? *s.script++ : 0;
    if (!RunOperation<kMode>(s, symbols, operation, argument)) return false;
    switch (ClassOf(scriptByte)) {
      case kClassDecodeModRM:
        if (!s.modrmDecoded && !DecodeModRM<kMode>(s, symbols)) return false;
        break;
      case kClassComma:
        if (Lists(kMode)) s.operands.Append(',');
        break;
      case kClassComplete:
        s.complete = true;
        break;
      case kClassGoOn:
        break;
    }
  }
  return true;
}

void Start(DecoderState& s, const uint8_t* window, uint32_t count, uint32_t address) {
  s.window = window;
  s.count = count < kCodeWindowSize ? count : kCodeWindowSize;
  s.address = address;
  s.slots[0].segment = kDs;
  s.slots[1].segment = kEs;
}

void SetFlow(Instruction* record, Flow flow, bool indirect, bool farTarget) {
  record->flow = flow;
  record->indirect = indirect;
  record->farTarget = farTarget;
}

// FF /2 to /5: calls and jumps through a register or memory; the far ones take memory only.
void ClassifyIndirect(const DecoderState& s, Instruction* record) {
  const bool memory = !s.registerOperand;
  if (s.reg == 2) SetFlow(record, Flow::kCall, true, false);
  if (s.reg == 3 && memory) SetFlow(record, Flow::kCall, true, true);
  if (s.reg == 4) SetFlow(record, Flow::kJump, true, false);
  if (s.reg == 5 && memory) SetFlow(record, Flow::kJump, true, true);
}

void ClassifyFlow(const DecoderState& s, Instruction* record) {
  if (s.vex) return;
  const uint8_t op = s.opcode;
  if (s.map == kMap0F) {
    if (op >= 0x80 && op <= 0x8F) SetFlow(record, Flow::kConditionalJump, false, false);
    return;
  }
  if (s.map != 0) return;
  if (op == 0xE8) SetFlow(record, Flow::kCall, false, false);
  if (op == 0xE9 || op == 0xEB) SetFlow(record, Flow::kJump, false, false);
  if (op == 0x9A) SetFlow(record, Flow::kCall, false, true);
  if (op == 0xEA) SetFlow(record, Flow::kJump, false, true);
  if ((op >= 0x70 && op <= 0x7F) || (op >= 0xE0 && op <= 0xE3)) SetFlow(record, Flow::kConditionalJump, false, false);
  if (op == 0xFF && s.modrmDecoded) ClassifyIndirect(s, record);
}

uint8_t OverrideSegment(uint8_t prefix) {
  switch (prefix) {
    case 0x26: return kEs;
    case 0x2E: return kCs;
    case 0x36: return kSs;
    case 0x64: return kFs;
    case 0x65: return kGs;
    default: return kDs;
  }
}

}  // namespace

const char* OverrideText(const DecoderState& state) {
  return state.segmentOverride != 0 ? kPrimaryTable[state.segmentOverride].mnemonic : nullptr;
}

void RecordOf(const DecoderState& state, Instruction* record) {
  *record = Instruction();
  record->length = state.cursor;
  record->prefixed = state.prefixed;
  ClassifyFlow(state, record);
  if (record->flow != Flow::kNone && !record->indirect) {
    record->target = state.target;
    record->selector = state.selector;
  }
  for (uint32_t i = 0; i < 2; ++i) {
    const bool modrmMemory = i == 0 && state.modrmDecoded && !state.registerOperand;
    if (state.slots[i].size == 0 && !modrmMemory) continue;
    MemoryOperand& operand = record->memory[record->memoryCount++];
    operand = state.slots[i];
    if (state.segmentOverride != 0) operand.segment = OverrideSegment(state.segmentOverride);
  }
}

bool DecodeInstruction(DecoderState& state, const uint8_t* window, uint32_t count, uint32_t address,
                       SymbolResolver* symbols) {
  Start(state, window, count, address);
  return Decode<Mode::kListing>(state, symbols);
}

bool DecodeRecord(const uint8_t* window, uint32_t count, uint32_t address, Instruction* record) {
  DecoderState state;
  Start(state, window, count, address);
  if (!Decode<Mode::kRecord>(state, nullptr)) return false;
  RecordOf(state, record);
  return true;
}

uint32_t EffectiveAddress(const MemoryOperand& operand, const RegisterValues& registers) {
  uint32_t address = operand.displacement;
  if (operand.base != kNoRegister) address += registers.general[operand.base & 7];
  if (operand.index != kNoRegister) address += registers.general[operand.index & 7] * operand.scale;
  return operand.address16 ? address & 0xFFFF : address;
}

const char* SegmentText(uint8_t segment) {
  static const char* const kTexts[6] = {kSegmentEs, "cs:", kSegmentSs, kSegmentDs, "fs:", "gs:"};
  return segment < 6 ? kTexts[segment] : kSegmentDs;
}

}  // namespace disasm

bool DecodeLength(const uint8_t* window, uint32_t count, uint32_t* length) {
  disasm::DecoderState state;
  disasm::Start(state, window, count, 0);
  const bool ok = disasm::Decode<disasm::Mode::kLength>(state, nullptr);
  if (ok && length != nullptr) *length = state.cursor;
  return ok;
}
