#include "disasm/decoder.h"

#include "disasm/disassemble.h"
#include "disasm/prefixed_maps.h"
#include "disasm/tables.h"
#include "report/registers.h"
#include "session/target.h"

namespace disasm {

namespace {

// The paths of the instructions after the 80486 stay out of line, so that the common
// instructions' decoding loop keeps its size.
#define RARE __attribute__((noinline, cold))

// RegisterValue indices of eax, ecx, edx, ebx, esp, ebp, esi, edi.
constexpr uint32_t kRegisterIndex[8] = {9, 8, 7, 6, 14, 10, 5, 4};
constexpr uint8_t kEsp = 4;
constexpr uint8_t kEbp = 5;
constexpr uint8_t kEsi = 6;
constexpr uint8_t kEdi = 7;
constexpr uint8_t kEbx = 3;

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

uint32_t Register(const DecodeContext& c, uint8_t number) {
  if (c.target == nullptr || c.thread == nullptr) return 0;
  return static_cast<uint32_t>(RegisterValue(*c.target, *c.thread, kRegisterIndex[number & 7]));
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
template <bool kListing>
bool BranchTarget(DecoderState& s, const DecodeContext& c, uint32_t size, uint32_t width) {
  const uint8_t* bytes = Take(s, size);
  if (bytes == nullptr) return false;
  if (kListing) {
    uint32_t displacement = LittleEndian(bytes, size);
    if (size == 1) displacement = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(displacement)));
    if (size == 2) displacement = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(displacement)));
    uint8_t target[4];
    StoreLittleEndian(target, s.address + s.cursor + displacement);
    AppendSymbolic(s.operands, c.target, target, width);
  }
  return true;
}

template <bool kListing>
bool DecodeModRM(DecoderState& s, const DecodeContext& c) {
  const uint8_t* byte = Take(s, 1);
  if (byte == nullptr) return false;
  s.modrmDecoded = true;
  s.modrmByte = *byte;
  s.mod = *byte >> 6;
  s.reg = (*byte >> 3) & 7;
  s.rm = *byte & 7;
  const bool evaluate = kListing && c.evaluate;

  if (s.mod == 3) {
    if (kListing && s.rmClass != kRegLegacy) {
      AppendClassRegister(s, s.memory, s.rmClass, s.rm);
    } else if (kListing) {
      if (s.slots[0].size <= 1) {
        AppendRegister8(s.memory, s.rm);
      } else {
        if (s.registers32 && !s.wordSource) s.memory.Append('e');
        AppendRegister16(s.memory, s.rm);
      }
    }
    s.registerOperand = true;
    s.slots[0].size = 0;
    return true;
  }

  ValueSlot& slot = s.slots[0];
  if (!s.addressing32) {
    if (kListing) s.memory.Append('[');
    if (s.mod == 0 && s.rm == 6) {
      const uint8_t* direct = Take(s, 2);
      if (direct == nullptr) return false;
      if (kListing) {
        AppendSymbolic(s.memory, c.target, direct, 2);
        slot.address = LittleEndian(direct, 2);
      }
    } else if (kListing) {
      s.memory.Append(kMemoryForms16[s.rm]);
      if (evaluate) {
        static constexpr uint8_t kBase[8] = {kEbx, kEbx, kEbp, kEbp, kEsi, kEdi, kEbp, kEbx};
        slot.address = Register(c, kBase[s.rm]);
        if (s.rm == 0 || s.rm == 2) slot.address += Register(c, kEsi);
        if (s.rm == 1 || s.rm == 3) slot.address += Register(c, kEdi);
        if (kBase[s.rm] == kEbp) slot.segment = kSegmentSs;
      }
    }
  } else {
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
    if (kListing) s.memory.Append('[');
    if (s.mod == 0 && base == 5) {
      const uint8_t* direct = Take(s, 4);
      if (direct == nullptr) return false;
      if (kListing) {
        AppendSymbolic(s.memory, c.target, direct, 4);
        slot.address = LittleEndian(direct, 4);
      }
    } else if (kListing) {
      s.memory.Append(kMemoryRegisters[base]);
      if (evaluate) {
        slot.address = Register(c, base);
        if (base == kEsp || base == kEbp) slot.segment = kSegmentSs;
      }
    }
    if (kListing && sib && (index != 4 || s.vsib)) {
      s.memory.Append('+');
      if (s.vsib) {
        AppendClassRegister(s, s.memory, kRegVector, index);
      } else {
        s.memory.Append(kMemoryRegisters[index]);
      }
      const uint32_t factor = 1u << scale;
      if (factor != 1) {
        s.memory.Append('*');
        s.memory.Append(static_cast<char>('0' + factor));
      }
      if (evaluate) slot.address += Register(c, index) * factor;
    }
  }

  if (s.mod == 1 || s.mod == 2) {
    const uint32_t size = s.mod == 1 ? 1 : (s.addressing32 ? 4 : 2);
    const uint8_t* displacement = Take(s, size);
    if (displacement == nullptr) return false;
    if (kListing) {
      AppendNumber(s.memory, displacement, size, true);
      uint32_t value = LittleEndian(displacement, size);
      if (size == 1) value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(value)));
      slot.address += value;
    }
  }
  if (evaluate && !s.addressing32) {
    s.slots[0].address &= 0xFFFF;
    s.slots[1].address &= 0xFFFF;
  }
  if (kListing) s.memory.Append(']');
  return true;
}

// A F2 or F3 prefix that selects the instruction is no printed prefix.
template <bool kListing>
RARE void TakeRepeatPrefix(DecoderState& s) {
  if (kListing) {
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
template <bool kListing>
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
      TakeRepeatPrefix<kListing>(s);
    } else if (chosen != nullptr && !AcceptsOtherPrefixes(s, *chosen)) {
      TakeRepeatPrefix<kListing>(s);  // part of the undefined opcode, not a prefix of its own
      chosen = nullptr;
    } else if (chosen != nullptr && chosen->prefix == kPrefix66) {
      s.operandSize = 4;
      s.registers32 = true;
    }
  }
  if (chosen == nullptr) {
    if (kListing) s.mnemonic.Append(kUnknownMnemonic);
    s.script = map == kMap0F && !s.vex ? kUnknownNoOperands : map == kMap0F3A ? kUnknownModRMImm8 : kUnknownModRM;
    return;
  }
  s.vexNaming = s.vex && (chosen->encodings & kBoth) == kBoth;
  if (kListing) {
    if (s.vexNaming) s.mnemonic.Append('v');
    s.mnemonic.Append(chosen->mnemonic);
  }
  s.script = chosen->script;
}

// C4 and C5: in 32-bit code les and lds take a memory operand, so a next byte with both top
// bits set starts a VEX prefix instead (its R and X, or R and vvvv, inverted).
template <bool kListing>
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
  if (kListing) s.mnemonic.Clear();
  const uint8_t* opcode = Take(s, 1);
  if (opcode == nullptr) return false;
  DispatchPrefixed<kListing>(s, map, *opcode);
  return true;
}

// 62: bound takes a memory operand, so a next byte with both top bits set starts an EVEX
// prefix (AVX-512): four bytes, then the opcode of map 1, 2 or 3 and its ModR/M operand.
template <bool kListing>
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
  if (kListing) s.mnemonic.Clear();
  const uint8_t* opcode = Take(s, 1);
  if (opcode == nullptr) return false;
  const uint32_t map = bytes[0] & 7;
  DispatchPrefixed<kListing>(s, map, *opcode);
  // Map 1 opcodes that carry an immediate under EVEX whatever row they fall to.
  if (map == kMap0F && s.script == kUnknownModRM) {
    const uint8_t op = *opcode;
    if ((op >= 0x70 && op <= 0x73) || op == 0xC2 || (op >= 0xC4 && op <= 0xC6)) s.script = kUnknownModRMImm8;
  }
  return true;
}

// Runs one script operation; false when it needed bytes past the window.
template <bool kListing>
bool RunOperation(DecoderState& s, const DecodeContext& c, Operation operation, uint8_t argument) {
  switch (operation) {
    case Operation::FarPointer: {
      const uint8_t* offset = Take(s, s.operandSize);
      if (offset == nullptr) return false;
      const uint8_t* selector = Take(s, 2);
      if (selector == nullptr) return false;
      if (kListing) {
        AppendHexValue(s.operands, selector, 2);
        s.operands.Append(':');
        AppendSymbolic(s.operands, c.target, offset, s.operandSize);
      }
      return true;
    }
    case Operation::AddressSizePrefix:
      s.addressSize = 2;
      s.addressing32 = false;
      return DispatchNext(s, kListing);
    case Operation::RegAL:
      if (kListing) AppendRegister8(s.operands, 0);
      return true;
    case Operation::WidenMnemonic:
      if (kListing && s.operandSize == 4) {
        if (argument == 0) {
          s.mnemonic.Clear();
          s.mnemonic.Append(kCwde);
        } else {
          s.mnemonic.PutAndEnd(argument, 'd');
          if (argument == 1) s.mnemonic.PutAndEnd(2, 'q');
        }
      }
      return true;
    case Operation::RegAccumulator:
      if (kListing) AppendRegister(s, s.operands, 0);
      return true;
    case Operation::Reg8FromOpcode:
      if (kListing) AppendRegister8(s.operands, s.opcode & 7);
      return true;
    case Operation::Reg8FromReg:
      if (kListing) AppendRegister8(s.operands, s.reg);
      return true;
    case Operation::Reg8Fixed:
      if (kListing) AppendRegister8(s.operands, argument);
      return true;
    case Operation::SizeByte:
      SetSize(s, kSizeByte, 1);
      return true;
    case Operation::Literal:
      if (kListing) s.operands.Append(static_cast<char>(argument));
      return true;
    case Operation::SystemRegister:
      if (kListing) {
        if (s.opcode == 0x24 || s.opcode == 0x26) {
          s.operands.Append("tr");
        } else if (s.opcode == 0x21 || s.opcode == 0x23) {
          s.operands.Append("dr");
        } else {
          s.operands.Append("cr");
        }
        s.operands.Append(static_cast<char>('0' + s.reg));
      }
      return true;
    case Operation::SizeDword:
      SetSize(s, kSizeDword, 4);
      return true;
    case Operation::SizeDwordForce32:
      s.registers32 = true;
      SetSize(s, kSizeDword, 4);
      return true;
    case Operation::X87Dispatch: {
      uint32_t row = (s.opcode & 7u) * 2 + (s.mod == 3 ? 1 : 0);
      uint32_t entry = s.reg;
      if (row == 3 && s.reg >= 4) {
        row = s.reg + 12u;
        entry = s.rm;
      } else if (row == 7) {
        entry = s.reg == 4 ? s.rm : 7;
      }
      RunEntry(s, kExtensionTable[row][entry], kListing);
      return true;
    }
    case Operation::SizeFarPointer:
      if (s.operandSize == 2) {
        SetSize(s, kSizeDword, 4);
      } else {
        SetSize(s, kSizeFword, 6);
      }
      return true;
    case Operation::GroupMnemonic:
      if (kListing) s.mnemonic.Append(kGroupTable[argument][s.reg]);
      return true;
    case Operation::ExtensionRow:
      RunEntry(s, kExtensionTable[argument][s.reg], kListing);
      return true;
    case Operation::Imm8: {
      const uint8_t* immediate = Take(s, 1);
      if (immediate == nullptr) return false;
      if (kListing) {
        // aam and aad divide and multiply by their base; 10 is the decimal one, shown bare.
        if (s.map != 0 || (s.opcode != 0xD4 && s.opcode != 0xD5) || *immediate != 10)
          AppendNumber(s.operands, immediate, 1, false);
      }
      return true;
    }
    case Operation::StReg:
      if (kListing) AppendStRegister(s.operands, s.rm);
      return true;
    case Operation::StRegSt:
      if (kListing) {
        AppendStRegister(s.operands, s.rm);
        s.operands.Append(kStRegSt + 5);  // ",st"
      }
      return true;
    case Operation::ImmOperandSize: {
      const uint8_t* immediate = Take(s, s.operandSize);
      if (immediate == nullptr) return false;
      if (kListing) AppendNumber(s.operands, immediate, s.operandSize, false);
      return true;
    }
    case Operation::Imm16: {
      const uint8_t* immediate = Take(s, 2);
      if (immediate == nullptr) return false;
      if (kListing) AppendNumber(s.operands, immediate, 2, false);
      return true;
    }
    case Operation::ModRMWithSize:
      if (kListing) {
        if (!s.registerOperand) s.operands.Append(s.sizeKeyword);
        if (s.segmentOverride != 0) s.operands.Append(OverrideText(s));
        s.operands.Append(s.memory.c_str());
      }
      return true;
    case Operation::ModRM:
      if (kListing) {
        if (s.segmentOverride != 0) s.operands.Append(OverrideText(s));
        s.operands.Append(s.memory.c_str());
      }
      return true;
    case Operation::MemoryOffset: {
      const uint8_t* offset = Take(s, s.addressSize);
      if (offset == nullptr) return false;
      if (kListing) {
        s.slots[0].address = LittleEndian(offset, s.addressSize);
        s.slots[0].size = (s.opcode & 1) == 0 ? 1 : s.operandSize;
        if (s.segmentOverride != 0) s.operands.Append(OverrideText(s));
        s.operands.Append('[');
        AppendSymbolic(s.operands, c.target, offset, s.addressSize);
        s.operands.Append(']');
      }
      return true;
    }
    case Operation::TwoByteEscape: {
      const uint8_t* second = Take(s, 1);
      if (second == nullptr) return false;
      s.wordSource = *second == 0xB7 || *second == 0xBF;
      s.map = kMap0F;
      if (*second == 0x38 || *second == 0x3A) {
        const uint8_t* third = Take(s, 1);
        if (third == nullptr) return false;
        DispatchPrefixed<kListing>(s, *second == 0x38 ? kMap0F38 : kMap0F3A, *third);
        return true;
      }
      const uint32_t row = TwoByteIndex(*second);
      // Only what the 80486 map leaves open takes the later readings.
      if (kPrimaryTable[row].mnemonic[0] == '?') {
        DispatchPrefixed<kListing>(s, kMap0F, *second);
      } else {
        Dispatch(s, row, *second, kListing);
      }
      return true;
    }
    case Operation::OperandSizePrefix:
      s.operandSize = 2;
      s.registers32 = false;
      s.operandPrefix = true;
      return DispatchNext(s, kListing);
    case Operation::SizeQword:
      SetSize(s, kSizeQword, 8);
      return true;
    case Operation::RelWide:
      // The displacement has the operand size, and a 16-bit one leaves a 16-bit target (the
      // processor clears the upper half of EIP); the address size plays no part in it.
      return BranchTarget<kListing>(s, c, s.operandSize, s.operandSize);
    case Operation::Rel8:
      if (kListing && s.opcode == 0xE3 && s.addressing32) {
        s.mnemonic.Clear();
        s.mnemonic.Append(kJecxz);
      }
      return BranchTarget<kListing>(s, c, 1, s.addressSize);
    case Operation::ListedPrefix: {
      const uint32_t at = s.prefix.length();
      if (kListing) {
        if (!s.prefix.empty()) s.prefix.Append(' ');
        s.prefix.Append(s.mnemonic.c_str());
        s.mnemonic.Clear();
      }
      if (s.opcode == 0xF2 || s.opcode == 0xF3) {
        s.repeatPrefix = s.opcode;
        s.repeatTextAt = at;
        s.repeatTextLength = s.prefix.length() - at;
      }
      return DispatchNext(s, kListing);
    }
    case Operation::SegmentPrefix:
      s.segmentOverride = s.opcode;
      if (kListing) s.mnemonic.Clear();
      return DispatchNext(s, kListing);
    case Operation::SegRegFromOpcode:
      if (kListing) AppendSegmentRegister(s.operands, (s.opcode >> 3) & 7u);
      return true;
    case Operation::SegRegFromReg:
      if (kListing) AppendSegmentRegister(s.operands, s.reg);
      return true;
    case Operation::StStReg:
      if (kListing) {
        s.operands.Append(kStComma);
        AppendStRegister(s.operands, s.rm);
      }
      return true;
    case Operation::StringOperands:
      if (kListing) {
        const uint32_t element = (s.opcode & 1) == 0 ? 1 : s.operandSize;
        if (element == 4) s.mnemonic.Set(4, 'd');
        if (c.evaluate) {
          if (argument & 1) s.slots[0] = {Register(c, kEsi), element, kSegmentDs};
          if (argument & 2) s.slots[1] = {Register(c, kEdi), element, kSegmentEs};
        }
      }
      return true;
    case Operation::SizeTbyte:
      SetSize(s, kSizeTbyte, 10);
      return true;
    case Operation::Port8: {
      const uint8_t* port = Take(s, 1);
      if (port == nullptr) return false;
      if (kListing) AppendHexValue(s.operands, port, 1);
      return true;
    }
    case Operation::SizeWordOrDword:
      if (s.operandSize == 2) {
        SetSize(s, kSizeWord, 2);
      } else {
        SetSize(s, kSizeDword, 4);
      }
      return true;
    case Operation::RegFromOpcode:
      if (kListing) AppendRegister(s, s.operands, s.opcode & 7u);
      return true;
    case Operation::RegFromReg:
      if (kListing) AppendRegister(s, s.operands, s.reg);
      return true;
    case Operation::SizeWord:
      SetSize(s, kSizeWord, 2);
      return true;
    case Operation::Reg16FromReg:
      if (kListing) AppendRegister16(s.operands, s.reg);
      return true;
    case Operation::Reg16Fixed:
      if (kListing) AppendRegister16(s.operands, argument);
      return true;
    case Operation::SimdSize: {
      s.rmClass = argument >> 4;
      const uint8_t code = argument & 15;
      if (code == kSizeVsib) {
        s.vsib = true;
        s.sizeKeyword = "";
        return true;
      }
      SetSimdSize(s, SimdBytes(s, code));
      // A group member names its ModR/M register only now that its class is known.
      if (kListing && s.modrmDecoded && s.registerOperand) {
        s.memory.Clear();
        AppendClassRegister(s, s.memory, s.rmClass, s.rm);
      }
      return true;
    }
    case Operation::SimdReg:
      if (kListing) AppendClassRegister(s, s.operands, argument, s.reg);
      return true;
    case Operation::VexSource:
      if (kListing && s.vex && ((argument & 0x40) == 0 || s.registerOperand)) {
        AppendClassRegister(s, s.operands, argument & 0x3F, s.vexRegister);
        s.operands.Append(',');
      }
      return true;
    case Operation::VexRegister:
      if (kListing) AppendClassRegister(s, s.operands, argument, s.vexRegister);
      return true;
    case Operation::ThreeByteEscape: {
      const uint8_t* next = Take(s, 1);
      if (next == nullptr) return false;
      DispatchPrefixed<kListing>(s, argument, *next);
      return true;
    }
    case Operation::VexPrefix:
      return VexOrLegacy<kListing>(s, argument);
    case Operation::EvexPrefix:
      return EvexOrLegacy<kListing>(s);
    case Operation::RegFromImm: {
      const uint8_t* immediate = Take(s, 1);
      if (immediate == nullptr) return false;
      if (kListing) AppendClassRegister(s, s.operands, argument, *immediate >> 4);
      return true;
    }
    case Operation::RepeatForm:
      if (s.repeatPrefix == 0xF3) {
        TakeRepeatPrefix<kListing>(s);
        if (kListing) {
          s.mnemonic.Clear();
          s.mnemonic.Append(kRepeatForms[argument % kRepeatFormCount]);
        }
      }
      return true;
    case Operation::VexWSuffix:
      if (kListing) s.mnemonic.Append(s.vexW ? (argument == 's' ? 'd' : 'q') : static_cast<char>(argument));
      return true;
    case Operation::ExtensionRowByMod:
      RunEntry(s, kExtensionTable[argument + (s.mod == 3 ? 1u : 0u)][s.reg], kListing);
      return true;
    case Operation::AlternateName: {
      const AlternateNameRow& alternate = kAlternateNames[argument % kAlternateNameCount];
      const bool applies = alternate.condition == kWhenRegister ? s.registerOperand
                           : alternate.condition == kWhenMemory ? s.modrmDecoded && !s.registerOperand
                           : alternate.condition == kWhenModRM  ? s.modrmDecoded && s.modrmByte == alternate.value
                                                                : s.vexLong;
      if (!applies) return true;
      if (kListing) {
        const bool undefined = alternate.mnemonic[0] == '?';
        s.mnemonic.Clear();
        if (s.vexNaming && !undefined) s.mnemonic.Append('v');
        s.mnemonic.Append(alternate.mnemonic);
        if (undefined) {  // an undefined form has no operands, nor values, to show
          s.operands.Clear();
          s.slots[0].size = 0;
          s.slots[1].size = 0;
        }
      }
      if (alternate.complete) s.complete = true;
      return true;
    }
    case Operation::SkipImm8:
      return Take(s, 1) != nullptr;
    case Operation::RegisterForm: {
      const char* name = s.registerOperand ? kDescriptorRegisterForms[s.reg][s.rm] : nullptr;
      if (name == nullptr) return true;
      if (kListing) s.mnemonic.Append(name);
      s.complete = true;
      return true;
    }
    case Operation::Nothing:
    default:
      return true;
  }
}

template <bool kListing>
bool Decode(DecoderState& s, const DecodeContext& c) {
  if (!DispatchNext(s, kListing)) return false;
  while (!s.complete) {
    const uint8_t scriptByte = *s.script++;
    const Operation operation = OperationOf(scriptByte);
    const uint8_t argument = HasArgument(operation) ? *s.script++ : 0;
    if (!RunOperation<kListing>(s, c, operation, argument)) return false;
    switch (ClassOf(scriptByte)) {
      case kClassDecodeModRM:
        if (!s.modrmDecoded && !DecodeModRM<kListing>(s, c)) return false;
        break;
      case kClassComma:
        if (kListing) s.operands.Append(',');
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
  s.slots[0].segment = kSegmentDs;
  s.slots[1].segment = kSegmentEs;
}

}  // namespace

const char* OverrideText(const DecoderState& state) {
  return state.segmentOverride != 0 ? kPrimaryTable[state.segmentOverride].mnemonic : nullptr;
}

bool DecodeInstruction(DecoderState& state, const uint8_t* window, uint32_t count, uint32_t address,
                       const DecodeContext& context) {
  Start(state, window, count, address);
  return Decode<true>(state, context);
}

}  // namespace disasm

bool DecodeLength(const uint8_t* window, uint32_t count, uint32_t* length) {
  disasm::DecoderState state;
  disasm::Start(state, window, count, 0);
  const disasm::DecodeContext none = {nullptr, nullptr, false};
  const bool ok = disasm::Decode<false>(state, none);
  if (ok && length != nullptr) *length = state.cursor;
  return ok;
}
