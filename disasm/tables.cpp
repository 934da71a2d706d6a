#include "disasm/tables.h"

#include <iterator>

namespace disasm {

uint32_t TwoByteIndex(uint8_t secondByte) {
  if (secondByte <= 0x06) return 0x100u + secondByte;
  if (secondByte >= 0x20 && secondByte <= 0x26) return secondByte + 0xE7u;
  if (secondByte >= 0x30 && secondByte <= 0x32) return secondByte + 0xDEu;
  if (secondByte >= 0x7F && secondByte <= 0xCF) return secondByte + 0x94u;
  return 0x104;  // the "???" row of 0F 04
}

namespace {

// Operand scripts. The comment reads each byte as operation, then its class:
// "+M" decode ModR/M, "+," comma, "." complete, nothing: go on.
constexpr uint8_t kNoOperands[] = {0xd8};               // Nothing .
constexpr uint8_t kWiden5[] = {0xc3, 0x05};             // WidenMnemonic(5) .
constexpr uint8_t kWiden4[] = {0xc3, 0x04};             // WidenMnemonic(4) .
constexpr uint8_t kWiden3[] = {0xc3, 0x03};             // WidenMnemonic(3) .
constexpr uint8_t kWiden1[] = {0xc3, 0x01};             // WidenMnemonic(1) .
constexpr uint8_t kWiden0[] = {0xc3, 0x00};             // WidenMnemonic(0) .
constexpr uint8_t kStringSource[] = {0xe4, 0x01};       // StringOperands(1) .
constexpr uint8_t kStringDestination[] = {0xe4, 0x02};  // StringOperands(2) .
constexpr uint8_t kStringBoth[] = {0xe4, 0x03};         // StringOperands(3) .
constexpr uint8_t kEb_Gb[] = {0x48, 0x97, 0xc6};        // SizeByte +M; ModRM +,; Reg8FromReg .
constexpr uint8_t kEv_Gv[] = {0x67, 0x97, 0xe9};        // SizeWordOrDword +M; ModRM +,; RegFromReg .
constexpr uint8_t kGb_Eb[] = {0x48, 0x86, 0xd7};        // SizeByte +M; Reg8FromReg +,; ModRM .
constexpr uint8_t kGv_Mp[] = {0x4e, 0x38, 0x05, 0xa9, 0xd7};  // SizeFarPointer +M; AlternateName(memory only); RegFromReg +,; ModRM .
constexpr uint8_t kGv_Ev[] = {0x67, 0xa9, 0xd7};        // SizeWordOrDword +M; RegFromReg +,; ModRM .
constexpr uint8_t kAL_Ib[] = {0x82, 0xd1};              // RegAL +,; Imm8 .
constexpr uint8_t kAX_Iz[] = {0x84, 0xd4};              // RegAccumulator +,; ImmOperandSize .
constexpr uint8_t kSregOpcode[] = {0xe1};               // SegRegFromOpcode .
constexpr uint8_t kRegOpcode[] = {0xe8};                // RegFromOpcode .
constexpr uint8_t kIz[] = {0xd4};                       // ImmOperandSize .
constexpr uint8_t kIb[] = {0xd1};                       // Imm8 .
constexpr uint8_t kGv_Ev_Ib[] = {0x67, 0xa9, 0x97, 0xd1};  // SizeWordOrDword +M; RegFromReg +,; ModRM +,; Imm8 .
constexpr uint8_t kGv_Ev_Iz[] = {0x67, 0xa9, 0x97, 0xd4};  // SizeWordOrDword +M; RegFromReg +,; ModRM +,; ImmOperandSize .
constexpr uint8_t kJb[] = {0xde};                       // Rel8 .
constexpr uint8_t kSizeEb_Ib[] = {0x48, 0x96, 0xd1};    // SizeByte +M; ModRMWithSize +,; Imm8 .
constexpr uint8_t kSizeEv_Iz[] = {0x67, 0x96, 0xd4};    // SizeWordOrDword +M; ModRMWithSize +,; ImmOperandSize .
constexpr uint8_t kEw_Sw[] = {0x6a, 0x97, 0xe2};        // SizeWord +M; ModRM +,; SegRegFromReg .
constexpr uint8_t kSw_Ew[] = {0x6a, 0xa2, 0xd7};        // SizeWord +M; SegRegFromReg +,; ModRM .
constexpr uint8_t kEv[] = {0x67, 0xd7};                 // SizeWordOrDword +M; ModRM .
constexpr uint8_t kAp[] = {0xc0};                       // FarPointer .
constexpr uint8_t kAL_Ob[] = {0x82, 0xd9};              // RegAL +,; MemoryOffset .
constexpr uint8_t kOb_AL[] = {0x99, 0xc2};              // MemoryOffset +,; RegAL .
constexpr uint8_t kAX_Ov[] = {0x84, 0xd9};              // RegAccumulator +,; MemoryOffset .
constexpr uint8_t kOv_AX[] = {0x99, 0xc4};              // MemoryOffset +,; RegAccumulator .
constexpr uint8_t kRegOpcode8_Ib[] = {0x85, 0xd1};      // Reg8FromOpcode +,; Imm8 .
constexpr uint8_t kRegOpcode_Iz[] = {0xa8, 0xd4};       // RegFromOpcode +,; ImmOperandSize .
constexpr uint8_t kIw[] = {0xd5};                       // Imm16 .
constexpr uint8_t kIw_Ib[] = {0x95, 0xd1};              // Imm16 +,; Imm8 .
constexpr uint8_t kPort_AL[] = {0xa6, 0xc2};            // Port8 +,; RegAL .
constexpr uint8_t kPort_AX[] = {0xa6, 0xc4};            // Port8 +,; RegAccumulator .
constexpr uint8_t kAL_Port[] = {0x82, 0xe6};            // RegAL +,; Port8 .
constexpr uint8_t kAX_Port[] = {0x84, 0xe6};            // RegAccumulator +,; Port8 .
constexpr uint8_t kAL_DX[] = {0x82, 0xec, 0x02};        // RegAL +,; Reg16Fixed(2) .
constexpr uint8_t kAX_DX[] = {0x84, 0xec, 0x02};        // RegAccumulator +,; Reg16Fixed(2) .
constexpr uint8_t kDX_AL[] = {0xac, 0x02, 0xc2};        // Reg16Fixed(2) +,; RegAL .
constexpr uint8_t kDX_AX[] = {0xac, 0x02, 0xc4};        // Reg16Fixed(2) +,; RegAccumulator .
constexpr uint8_t kJz[] = {0xdd};                       // RelWide .
constexpr uint8_t kAddressSize[] = {0x01};              // AddressSizePrefix
constexpr uint8_t kOperandSize[] = {0x1b};              // OperandSizePrefix
constexpr uint8_t kSegment[] = {0x20};                  // SegmentPrefix
constexpr uint8_t kThree[] = {0xc9, 0x33};              // Literal('3') .
constexpr uint8_t kPort[] = {0xe6};                     // Port8 .
constexpr uint8_t kEscape[] = {0x1a};                   // TwoByteEscape
constexpr uint8_t kArithEb_Ib[] = {0x48, 0x0f, 0x00, 0x96, 0xd1};  // SizeByte +M; GroupMnemonic(0); ModRMWithSize +,; Imm8 .
constexpr uint8_t kArithEv_Ib[] = {0x67, 0x0f, 0x00, 0x96, 0xd1};  // SizeWordOrDword +M; GroupMnemonic(0); ModRMWithSize +,; Imm8 .
constexpr uint8_t kArithEv_Iz[] = {0x67, 0x0f, 0x00, 0x96, 0xd4};  // SizeWordOrDword +M; GroupMnemonic(0); ModRMWithSize +,; ImmOperandSize .
constexpr uint8_t kShiftEb_Ib[] = {0x48, 0x0f, 0x01, 0x96, 0xd1};  // SizeByte +M; GroupMnemonic(1); ModRMWithSize +,; Imm8 .
constexpr uint8_t kShiftEv_Ib[] = {0x67, 0x0f, 0x01, 0x96, 0xd1};  // SizeWordOrDword +M; GroupMnemonic(1); ModRMWithSize +,; Imm8 .
constexpr uint8_t kShiftEb_1[] = {0x48, 0x0f, 0x01, 0x96, 0xc9, 0x31};  // SizeByte +M; GroupMnemonic(1); ModRMWithSize +,; Literal('1') .
constexpr uint8_t kShiftEv_1[] = {0x67, 0x0f, 0x01, 0x96, 0xc9, 0x31};  // SizeWordOrDword +M; GroupMnemonic(1); ModRMWithSize +,; Literal('1') .
constexpr uint8_t kShiftEb_CL[] = {0x48, 0x0f, 0x01, 0x96, 0xc7, 0x01};  // SizeByte +M; GroupMnemonic(1); ModRMWithSize +,; Reg8Fixed(1) .
constexpr uint8_t kShiftEv_CL[] = {0x67, 0x0f, 0x01, 0x96, 0xc7, 0x01};  // SizeWordOrDword +M; GroupMnemonic(1); ModRMWithSize +,; Reg8Fixed(1) .
constexpr uint8_t kIncDecEb[] = {0x48, 0x0f, 0x02, 0xd6};  // SizeByte +M; GroupMnemonic(2); ModRMWithSize .
constexpr uint8_t kSystemEw[] = {0x6a, 0x0f, 0x03, 0xd6};  // SizeWord +M; GroupMnemonic(3); ModRMWithSize .
constexpr uint8_t kBitTestEw_Ib[] = {0x6a, 0x0f, 0x04, 0x96, 0xd1};  // SizeWord +M; GroupMnemonic(4); ModRMWithSize +,; Imm8 .
constexpr uint8_t kUnaryEb[] = {0x48, 0x10, 0x14};      // SizeByte +M; ExtensionRow(20)
constexpr uint8_t kUnaryEv[] = {0x67, 0x10, 0x15};      // SizeWordOrDword +M; ExtensionRow(21)
constexpr uint8_t kIndirectEv[] = {0x67, 0x10, 0x16};   // SizeWordOrDword +M; ExtensionRow(22)
constexpr uint8_t kDescriptorTable[] = {0x58, 0x3a, 0x10, 0x17};  // Nothing +M; RegisterForm; ExtensionRow(23)
constexpr uint8_t kX87[] = {0x58, 0x0d};                // Nothing +M; X87Dispatch
constexpr uint8_t kSizeEb[] = {0x48, 0xd6};             // SizeByte +M; ModRMWithSize .
constexpr uint8_t kGv_SizeEb[] = {0x48, 0xa9, 0xd6};    // SizeByte +M; RegFromReg +,; ModRMWithSize .
constexpr uint8_t kGv_SizeEw[] = {0x6a, 0xa9, 0xd6};    // SizeWord +M; RegFromReg +,; ModRMWithSize .
constexpr uint8_t kEv_Gv_Ib[] = {0x67, 0x97, 0xa9, 0xd1};  // SizeWordOrDword +M; ModRM +,; RegFromReg +,; Imm8 .
constexpr uint8_t kEv_Gv_CL[] = {0x67, 0x97, 0xa9, 0xc7, 0x01};  // SizeWordOrDword +M; ModRM +,; RegFromReg +,; Reg8Fixed(1) .
constexpr uint8_t kSizeMq[] = {0x5c, 0xd6};             // SizeQword +M; ModRMWithSize .
constexpr uint8_t kListedPrefix[] = {0x1f};             // ListedPrefix
constexpr uint8_t kRd_Cd[] = {0x4c, 0x97, 0xca};        // SizeDwordForce32 +M; ModRM +,; SystemRegister .
constexpr uint8_t kCd_Rd[] = {0x4c, 0x8a, 0xd7};        // SizeDwordForce32 +M; SystemRegister +,; ModRM .
constexpr uint8_t kAX_RegOpcode[] = {0x84, 0xe8};       // RegAccumulator +,; RegFromOpcode .
constexpr uint8_t kSizeMd[] = {0x4b, 0xd6};             // SizeDword +M; ModRMWithSize .
constexpr uint8_t kSizeMp[] = {0x4e, 0xd6};             // SizeFarPointer +M; ModRMWithSize .
constexpr uint8_t kStN[] = {0x58, 0xd2};                // Nothing +M; StReg .
constexpr uint8_t kStN_St[] = {0x58, 0xd3};             // Nothing +M; StRegSt .
constexpr uint8_t kSt_StN[] = {0x58, 0xe3};             // Nothing +M; StStReg .
constexpr uint8_t kSizeMt[] = {0x65, 0xd6};             // SizeTbyte +M; ModRMWithSize .
constexpr uint8_t kSizeEv[] = {0x67, 0xd6};             // SizeWordOrDword +M; ModRMWithSize .
constexpr uint8_t kSizeMw[] = {0x6a, 0xd6};             // SizeWord +M; ModRMWithSize .

// Rows whose bytes a later processor gave a meaning the 80486 map leaves open: the script
// first tries the newer reading and otherwise goes on with the old one.
constexpr uint8_t kNopOrPause[] = {0x35, 0x00, 0xd8};   // RepeatForm(pause); Nothing .
constexpr uint8_t kBsfOrTzcnt[] = {0x35, 0x01, 0x67, 0xa9, 0xd7};  // RepeatForm(tzcnt); SizeWordOrDword +M; RegFromReg +,; ModRM .
constexpr uint8_t kBsrOrLzcnt[] = {0x35, 0x02, 0x67, 0xa9, 0xd7};  // RepeatForm(lzcnt); SizeWordOrDword +M; RegFromReg +,; ModRM .
constexpr uint8_t kLesOrVex3[] = {0x32, 0x03, 0x4e, 0xa9, 0xd7};   // VexPrefix(3); SizeFarPointer +M; RegFromReg +,; ModRM .
constexpr uint8_t kLdsOrVex2[] = {0x32, 0x02, 0x4e, 0xa9, 0xd7};   // VexPrefix(2); SizeFarPointer +M; RegFromReg +,; ModRM .
constexpr uint8_t kBoundOrEvex[] = {0x33, 0x67, 0xa9, 0xd7};       // EvexPrefix; SizeWordOrDword +M; RegFromReg +,; ModRM .
// 0F C7 by the ModR/M reg field, memory and register forms apart (cmpxchg8b, rdrand, ...).
constexpr uint8_t kGroup0FC7[] = {0x67, 0x37, 36};        // SizeWordOrDword +M; ExtensionRowByMod(36)
// A memory operand without a size, whose bytes are not shown (the xsave areas).
constexpr uint8_t kMemoryNoValue[] = {0x2d, 0x00, 0xd7};  // SimdSize(none); ModRM .
// P6 x87 and the later additions to the extension rows.
constexpr uint8_t kDbRegisterByReg[] = {0x10, 24};       // ExtensionRow(24)
constexpr uint8_t kSizeMb[] = {0x48, 0xd6};             // SizeByte +M; ModRMWithSize .
constexpr uint8_t kPrefetchMb[] = {0x48, 0x38, 0x05, 0xd6};  // SizeByte +M; AlternateName(memory only); ModRMWithSize .
constexpr uint8_t kNothingM[] = {0xd7};                 // ModRM .
// Shifts of MMX and XMM registers by an immediate (0F 71 to 73); under VEX the destination
// is VEX.vvvv.
constexpr uint8_t kShiftMmx[] = {0x6d, 0x14, 0x38, 0x06, 0x96, 0xd1};  // SimdSize(mm, m64) +M; AlternateName(register only); ModRMWithSize +,; Imm8 .
constexpr uint8_t kShiftXmm[] = {0x2f, 0x03, 0x6d, 0x36, 0x38, 0x06, 0x96, 0xd1};  // VexSource(vector); SimdSize(vector) +M; AlternateName(register only); ModRMWithSize +,; Imm8 .
// BMI1 group under VEX 0F 38 F3: vvvv, r/m32.
constexpr uint8_t kBmiGroup[] = {0xb0, 0x00, 0x6d, 0x03, 0xd6};  // VexRegister(gpr) +,; SimdSize(gpr, m32) +M; ModRMWithSize .

}  // namespace

const OpcodeRow kPrimaryTable[] = {
    {"add", kEb_Gb},                    // 000  00
    {"add", kEv_Gv},                    // 001  01
    {"add", kGb_Eb},                    // 002  02
    {"add", kGv_Ev},                    // 003  03
    {"add", kAL_Ib},                    // 004  04
    {"add", kAX_Iz},                    // 005  05
    {"push", kSregOpcode},              // 006  06
    {"pop", kSregOpcode},               // 007  07
    {"or", kEb_Gb},                     // 008  08
    {"or", kEv_Gv},                     // 009  09
    {"or", kGb_Eb},                     // 00A  0A
    {"or", kGv_Ev},                     // 00B  0B
    {"or", kAL_Ib},                     // 00C  0C
    {"or", kAX_Iz},                     // 00D  0D
    {"push", kSregOpcode},              // 00E  0E
    {"", kEscape},                      // 00F  0F
    {"adc", kEb_Gb},                    // 010  10
    {"adc", kEv_Gv},                    // 011  11
    {"adc", kGb_Eb},                    // 012  12
    {"adc", kGv_Ev},                    // 013  13
    {"adc", kAL_Ib},                    // 014  14
    {"adc", kAX_Iz},                    // 015  15
    {"push", kSregOpcode},              // 016  16
    {"pop", kSregOpcode},               // 017  17
    {"sbb", kEb_Gb},                    // 018  18
    {"sbb", kEv_Gv},                    // 019  19
    {"sbb", kGb_Eb},                    // 01A  1A
    {"sbb", kGv_Ev},                    // 01B  1B
    {"sbb", kAL_Ib},                    // 01C  1C
    {"sbb", kAX_Iz},                    // 01D  1D
    {"push", kSregOpcode},              // 01E  1E
    {"pop", kSregOpcode},               // 01F  1F
    {"and", kEb_Gb},                    // 020  20
    {"and", kEv_Gv},                    // 021  21
    {"and", kGb_Eb},                    // 022  22
    {"and", kGv_Ev},                    // 023  23
    {"and", kAL_Ib},                    // 024  24
    {"and", kAX_Iz},                    // 025  25
    {"es:", kSegment},                  // 026  26
    {"daa", kNoOperands},               // 027  27
    {"sub", kEb_Gb},                    // 028  28
    {"sub", kEv_Gv},                    // 029  29
    {"sub", kGb_Eb},                    // 02A  2A
    {"sub", kGv_Ev},                    // 02B  2B
    {"sub", kAL_Ib},                    // 02C  2C
    {"sub", kAX_Iz},                    // 02D  2D
    {"cs:", kSegment},                  // 02E  2E
    {"das", kNoOperands},               // 02F  2F
    {"xor", kEb_Gb},                    // 030  30
    {"xor", kEv_Gv},                    // 031  31
    {"xor", kGb_Eb},                    // 032  32
    {"xor", kGv_Ev},                    // 033  33
    {"xor", kAL_Ib},                    // 034  34
    {"xor", kAX_Iz},                    // 035  35
    {"ss:", kSegment},                  // 036  36
    {"aaa", kNoOperands},               // 037  37
    {"cmp", kEb_Gb},                    // 038  38
    {"cmp", kEv_Gv},                    // 039  39
    {"cmp", kGb_Eb},                    // 03A  3A
    {"cmp", kGv_Ev},                    // 03B  3B
    {"cmp", kAL_Ib},                    // 03C  3C
    {"cmp", kAX_Iz},                    // 03D  3D
    {"ds:", kSegment},                  // 03E  3E
    {"aas", kNoOperands},               // 03F  3F
    {"inc", kRegOpcode},                // 040  40
    {"inc", kRegOpcode},                // 041  41
    {"inc", kRegOpcode},                // 042  42
    {"inc", kRegOpcode},                // 043  43
    {"inc", kRegOpcode},                // 044  44
    {"inc", kRegOpcode},                // 045  45
    {"inc", kRegOpcode},                // 046  46
    {"inc", kRegOpcode},                // 047  47
    {"dec", kRegOpcode},                // 048  48
    {"dec", kRegOpcode},                // 049  49
    {"dec", kRegOpcode},                // 04A  4A
    {"dec", kRegOpcode},                // 04B  4B
    {"dec", kRegOpcode},                // 04C  4C
    {"dec", kRegOpcode},                // 04D  4D
    {"dec", kRegOpcode},                // 04E  4E
    {"dec", kRegOpcode},                // 04F  4F
    {"push", kRegOpcode},               // 050  50
    {"push", kRegOpcode},               // 051  51
    {"push", kRegOpcode},               // 052  52
    {"push", kRegOpcode},               // 053  53
    {"push", kRegOpcode},               // 054  54
    {"push", kRegOpcode},               // 055  55
    {"push", kRegOpcode},               // 056  56
    {"push", kRegOpcode},               // 057  57
    {"pop", kRegOpcode},                // 058  58
    {"pop", kRegOpcode},                // 059  59
    {"pop", kRegOpcode},                // 05A  5A
    {"pop", kRegOpcode},                // 05B  5B
    {"pop", kRegOpcode},                // 05C  5C
    {"pop", kRegOpcode},                // 05D  5D
    {"pop", kRegOpcode},                // 05E  5E
    {"pop", kRegOpcode},                // 05F  5F
    {"pusha", kWiden5},                 // 060  60
    {"popa", kWiden4},                  // 061  61
    {"bound", kBoundOrEvex},            // 062  62
    {"arpl", kEv_Gv},                   // 063  63
    {"fs:", kSegment},                  // 064  64
    {"gs:", kSegment},                  // 065  65
    {"", kOperandSize},                 // 066  66
    {"", kAddressSize},                 // 067  67
    {"push", kIz},                      // 068  68
    {"imul", kGv_Ev_Iz},                // 069  69
    {"push", kIb},                      // 06A  6A
    {"imul", kGv_Ev_Ib},                // 06B  6B
    {"insb", kNoOperands},              // 06C  6C
    {"insw", kWiden3},                  // 06D  6D
    {"outsb", kNoOperands},             // 06E  6E
    {"outsw", kWiden4},                 // 06F  6F
    {"jo", kJb},                        // 070  70
    {"jno", kJb},                       // 071  71
    {"jb", kJb},                        // 072  72
    {"jnb", kJb},                       // 073  73
    {"jz", kJb},                        // 074  74
    {"jnz", kJb},                       // 075  75
    {"jbe", kJb},                       // 076  76
    {"ja", kJb},                        // 077  77
    {"js", kJb},                        // 078  78
    {"jns", kJb},                       // 079  79
    {"jpe", kJb},                       // 07A  7A
    {"jpo", kJb},                       // 07B  7B
    {"jl", kJb},                        // 07C  7C
    {"jge", kJb},                       // 07D  7D
    {"jle", kJb},                       // 07E  7E
    {"jg", kJb},                        // 07F  7F
    {"", kArithEb_Ib},                  // 080  80
    {"", kArithEv_Iz},                  // 081  81
    {"", kArithEb_Ib},                  // 082  82 (80 again)
    {"", kArithEv_Ib},                  // 083  83
    {"test", kEb_Gb},                   // 084  84
    {"test", kEv_Gv},                   // 085  85
    {"xchg", kEb_Gb},                   // 086  86
    {"xchg", kEv_Gv},                   // 087  87
    {"mov", kEb_Gb},                    // 088  88
    {"mov", kEv_Gv},                    // 089  89
    {"mov", kGb_Eb},                    // 08A  8A
    {"mov", kGv_Ev},                    // 08B  8B
    {"mov", kEw_Sw},                    // 08C  8C
    {"lea", kGv_Ev},                    // 08D  8D
    {"mov", kSw_Ew},                    // 08E  8E
    {"pop", kEv},                       // 08F  8F
    {"nop", kNopOrPause},               // 090  90
    {"xchg", kAX_RegOpcode},            // 091  91
    {"xchg", kAX_RegOpcode},            // 092  92
    {"xchg", kAX_RegOpcode},            // 093  93
    {"xchg", kAX_RegOpcode},            // 094  94
    {"xchg", kAX_RegOpcode},            // 095  95
    {"xchg", kAX_RegOpcode},            // 096  96
    {"xchg", kAX_RegOpcode},            // 097  97
    {"cbw", kWiden0},                   // 098  98
    {"cwd", kWiden1},                   // 099  99
    {"call", kAp},                      // 09A  9A
    {"wait", kNoOperands},              // 09B  9B
    {"pushf", kWiden5},                 // 09C  9C
    {"popf", kWiden4},                  // 09D  9D
    {"sahf", kNoOperands},              // 09E  9E
    {"lahf", kNoOperands},              // 09F  9F
    {"mov", kAL_Ob},                    // 0A0  A0
    {"mov", kAX_Ov},                    // 0A1  A1
    {"mov", kOb_AL},                    // 0A2  A2
    {"mov", kOv_AX},                    // 0A3  A3
    {"movsb", kStringBoth},             // 0A4  A4
    {"movsw", kStringBoth},             // 0A5  A5
    {"cmpsb", kStringBoth},             // 0A6  A6
    {"cmpsw", kStringBoth},             // 0A7  A7
    {"test", kAL_Ib},                   // 0A8  A8
    {"test", kAX_Iz},                   // 0A9  A9
    {"stosb", kStringDestination},      // 0AA  AA
    {"stosw", kStringDestination},      // 0AB  AB
    {"lodsb", kStringSource},           // 0AC  AC
    {"lodsw", kStringSource},           // 0AD  AD
    {"scasb", kStringDestination},      // 0AE  AE
    {"scasw", kStringDestination},      // 0AF  AF
    {"mov", kRegOpcode8_Ib},            // 0B0  B0
    {"mov", kRegOpcode8_Ib},            // 0B1  B1
    {"mov", kRegOpcode8_Ib},            // 0B2  B2
    {"mov", kRegOpcode8_Ib},            // 0B3  B3
    {"mov", kRegOpcode8_Ib},            // 0B4  B4
    {"mov", kRegOpcode8_Ib},            // 0B5  B5
    {"mov", kRegOpcode8_Ib},            // 0B6  B6
    {"mov", kRegOpcode8_Ib},            // 0B7  B7
    {"mov", kRegOpcode_Iz},             // 0B8  B8
    {"mov", kRegOpcode_Iz},             // 0B9  B9
    {"mov", kRegOpcode_Iz},             // 0BA  BA
    {"mov", kRegOpcode_Iz},             // 0BB  BB
    {"mov", kRegOpcode_Iz},             // 0BC  BC
    {"mov", kRegOpcode_Iz},             // 0BD  BD
    {"mov", kRegOpcode_Iz},             // 0BE  BE
    {"mov", kRegOpcode_Iz},             // 0BF  BF
    {"", kShiftEb_Ib},                  // 0C0  C0
    {"", kShiftEv_Ib},                  // 0C1  C1
    {"ret", kIw},                       // 0C2  C2
    {"ret", kNoOperands},               // 0C3  C3
    {"les", kLesOrVex3},                // 0C4  C4
    {"lds", kLdsOrVex2},                // 0C5  C5
    {"mov", kSizeEb_Ib},                // 0C6  C6
    {"mov", kSizeEv_Iz},                // 0C7  C7
    {"enter", kIw_Ib},                  // 0C8  C8
    {"leave", kNoOperands},             // 0C9  C9
    {"retf", kIw},                      // 0CA  CA
    {"retf", kNoOperands},              // 0CB  CB
    {"int", kThree},                    // 0CC  CC
    {"int", kPort},                     // 0CD  CD
    {"into", kNoOperands},              // 0CE  CE
    {"iret", kWiden4},                  // 0CF  CF
    {"", kShiftEb_1},                   // 0D0  D0
    {"", kShiftEv_1},                   // 0D1  D1
    {"", kShiftEb_CL},                  // 0D2  D2
    {"", kShiftEv_CL},                  // 0D3  D3
    {"aam", kIb},                       // 0D4  D4
    {"aad", kIb},                       // 0D5  D5
    {"???", kNoOperands},               // 0D6  D6
    {"xlat", kNoOperands},              // 0D7  D7
    {"", kX87},                         // 0D8  D8
    {"", kX87},                         // 0D9  D9
    {"", kX87},                         // 0DA  DA
    {"", kX87},                         // 0DB  DB
    {"", kX87},                         // 0DC  DC
    {"", kX87},                         // 0DD  DD
    {"", kX87},                         // 0DE  DE
    {"", kX87},                         // 0DF  DF
    {"loopne", kJb},                    // 0E0  E0
    {"loope", kJb},                     // 0E1  E1
    {"loop", kJb},                      // 0E2  E2
    {"jcxz", kJb},                      // 0E3  E3
    {"in", kAL_Port},                   // 0E4  E4
    {"in", kAX_Port},                   // 0E5  E5
    {"out", kPort_AL},                  // 0E6  E6
    {"out", kPort_AX},                  // 0E7  E7
    {"call", kJz},                      // 0E8  E8
    {"jmp", kJz},                       // 0E9  E9
    {"jmp", kAp},                       // 0EA  EA
    {"jmp", kJb},                       // 0EB  EB
    {"in", kAL_DX},                     // 0EC  EC
    {"in", kAX_DX},                     // 0ED  ED
    {"out", kDX_AL},                    // 0EE  EE
    {"out", kDX_AX},                    // 0EF  EF
    {"lock", kListedPrefix},            // 0F0  F0
    {"int1", kNoOperands},              // 0F1  F1
    {"repne ", kListedPrefix},          // 0F2  F2
    {"rep ", kListedPrefix},            // 0F3  F3
    {"hlt", kNoOperands},               // 0F4  F4
    {"cmc", kNoOperands},               // 0F5  F5
    {"", kUnaryEb},                     // 0F6  F6
    {"", kUnaryEv},                     // 0F7  F7
    {"clc", kNoOperands},               // 0F8  F8
    {"stc", kNoOperands},               // 0F9  F9
    {"cli", kNoOperands},               // 0FA  FA
    {"sti", kNoOperands},               // 0FB  FB
    {"cld", kNoOperands},               // 0FC  FC
    {"std", kNoOperands},               // 0FD  FD
    {"", kIncDecEb},                    // 0FE  FE
    {"", kIndirectEv},                  // 0FF  FF
    {"", kSystemEw},                    // 100  0F 00
    {"", kDescriptorTable},             // 101  0F 01
    {"lar", kGv_Ev},                    // 102  0F 02
    {"lsl", kGv_Ev},                    // 103  0F 03
    {"???", kNoOperands},               // 104  0F 04
    {"loadall", kNoOperands},           // 105  0F 05
    {"clts", kNoOperands},              // 106  0F 06
    {"mov", kRd_Cd},                    // 107  0F 20
    {"mov", kRd_Cd},                    // 108  0F 21
    {"mov", kCd_Rd},                    // 109  0F 22
    {"mov", kCd_Rd},                    // 10A  0F 23
    {"mov", kRd_Cd},                    // 10B  0F 24
    {"???", kNoOperands},               // 10C  0F 25
    {"mov", kCd_Rd},                    // 10D  0F 26
    {"wrmsr", kNoOperands},             // 10E  0F 30
    {"rdtsc", kNoOperands},             // 10F  0F 31
    {"rdmsr", kNoOperands},             // 110  0F 32
    {"???", kNoOperands},               // 111  (never selected)
    {"???", kNoOperands},               // 112  (never selected)
    {"???", kNoOperands},               // 113  0F 7F
    {"jo", kJz},                        // 114  0F 80
    {"jno", kJz},                       // 115  0F 81
    {"jb", kJz},                        // 116  0F 82
    {"jnb", kJz},                       // 117  0F 83
    {"je", kJz},                        // 118  0F 84
    {"jne", kJz},                       // 119  0F 85
    {"jbe", kJz},                       // 11A  0F 86
    {"jnbe", kJz},                      // 11B  0F 87
    {"js", kJz},                        // 11C  0F 88
    {"jns", kJz},                       // 11D  0F 89
    {"jp", kJz},                        // 11E  0F 8A
    {"jnp", kJz},                       // 11F  0F 8B
    {"jl", kJz},                        // 120  0F 8C
    {"jnl", kJz},                       // 121  0F 8D
    {"jle", kJz},                       // 122  0F 8E
    {"jnle", kJz},                      // 123  0F 8F
    {"seto", kSizeEb},                  // 124  0F 90
    {"setno", kSizeEb},                 // 125  0F 91
    {"setb", kSizeEb},                  // 126  0F 92
    {"setnb", kSizeEb},                 // 127  0F 93
    {"sete", kSizeEb},                  // 128  0F 94
    {"setne", kSizeEb},                 // 129  0F 95
    {"setbe", kSizeEb},                 // 12A  0F 96
    {"seta", kSizeEb},                  // 12B  0F 97
    {"sets", kSizeEb},                  // 12C  0F 98
    {"setns", kSizeEb},                 // 12D  0F 99
    {"setp", kSizeEb},                  // 12E  0F 9A
    {"setnp", kSizeEb},                 // 12F  0F 9B
    {"setl", kSizeEb},                  // 130  0F 9C
    {"setge", kSizeEb},                 // 131  0F 9D
    {"setle", kSizeEb},                 // 132  0F 9E
    {"setnle", kSizeEb},                // 133  0F 9F
    {"push", kSregOpcode},              // 134  0F A0
    {"pop", kSregOpcode},               // 135  0F A1
    {"cpuid", kNoOperands},             // 136  0F A2
    {"bt", kEv_Gv},                     // 137  0F A3
    {"shld", kEv_Gv_Ib},                // 138  0F A4
    {"shld", kEv_Gv_CL},                // 139  0F A5
    {"cmpxchg", kEb_Gb},                // 13A  0F A6
    {"cmpxchg", kEv_Gv},                // 13B  0F A7
    {"push", kSregOpcode},              // 13C  0F A8
    {"pop", kSregOpcode},               // 13D  0F A9
    {"rsm", kNoOperands},               // 13E  0F AA
    {"bts", kEv_Gv},                    // 13F  0F AB
    {"shrd", kEv_Gv_Ib},                // 140  0F AC
    {"shrd", kEv_Gv_CL},                // 141  0F AD
    {"???", kNoOperands},               // 142  0F AE
    {"imul", kGv_Ev},                   // 143  0F AF
    {"???", kNoOperands},               // 144  0F B0
    {"???", kNoOperands},               // 145  0F B1
    {"lss", kGv_Mp},                    // 146  0F B2
    {"btr", kEv_Gv},                    // 147  0F B3
    {"lfs", kGv_Mp},                    // 148  0F B4
    {"lgs", kGv_Mp},                    // 149  0F B5
    {"movzx", kGv_SizeEb},              // 14A  0F B6
    {"movzx", kGv_SizeEw},              // 14B  0F B7
    {"???", kNoOperands},               // 14C  0F B8
    {"???", kNoOperands},               // 14D  0F B9
    {"", kBitTestEw_Ib},                // 14E  0F BA
    {"btc", kEv_Gv},                    // 14F  0F BB
    {"bsf", kBsfOrTzcnt},                // 150  0F BC
    {"bsr", kBsrOrLzcnt},                // 151  0F BD
    {"movsx", kGv_SizeEb},              // 152  0F BE
    {"movsx", kGv_SizeEw},              // 153  0F BF
    {"xadd", kEb_Gb},                   // 154  0F C0
    {"xadd", kEv_Gv},                   // 155  0F C1
    {"???", kNoOperands},               // 156  0F C2
    {"???", kNoOperands},               // 157  0F C3
    {"???", kNoOperands},               // 158  0F C4
    {"???", kNoOperands},               // 159  0F C5
    {"???", kNoOperands},               // 15A  0F C6
    {"", kGroup0FC7},                   // 15B  0F C7
    {"bswap", kRegOpcode},              // 15C  0F C8
    {"bswap", kRegOpcode},              // 15D  0F C9
    {"bswap", kRegOpcode},              // 15E  0F CA
    {"bswap", kRegOpcode},              // 15F  0F CB
    {"bswap", kRegOpcode},              // 160  0F CC
    {"bswap", kRegOpcode},              // 161  0F CD
    {"bswap", kRegOpcode},              // 162  0F CE
    {"bswap", kRegOpcode},              // 163  0F CF
};
static_assert(std::size(kPrimaryTable) == kPrimaryRowCount, "356 primary rows");

const char* const kGroupTable[][kEntriesPerRow] = {
    {"add", "or", "adc", "sbb", "and", "sub", "xor", "cmp"},       // 0  80 81 83
    {"rol", "ror", "rcl", "rcr", "shl", "shr", "???", "sar"},      // 1  C0 C1 D0 D1 D2 D3
    {"inc", "dec", "???", "???", "???", "???", "???", "???"},      // 2  FE
    {"sldt", "str", "lldt", "ltr", "verr", "verw", "???", "???"},  // 3  0F 00
    {"???", "???", "???", "???", "bt", "bts", "btr", "btc"},       // 4  0F BA
};
static_assert(std::size(kGroupTable) == kGroupRowCount, "5 group rows");

// Rows 0..19 serve the x87 escapes D8..DF, rows 20..23 the groups F6, F7, FF and 0F 01.
const OpcodeRow kExtensionTable[][kEntriesPerRow] = {
    {{"fadd", kSizeMd}, {"fmul", kSizeMd}, {"fcom", kSizeMd}, {"fcomp", kSizeMd}, {"fsub", kSizeMd}, {"fsubr", kSizeMd}, {"fdiv", kSizeMd}, {"fdivr", kSizeMd}},  //  0 D8 memory
    {{"fadd", kSt_StN}, {"fmul", kSt_StN}, {"fcom", kStN}, {"fcomp", kStN}, {"fsub", kSt_StN}, {"fsubr", kSt_StN}, {"fdiv", kSt_StN}, {"fdivr", kSt_StN}},  //  1 D8 register
    {{"fld", kSizeMd}, {"???", kNoOperands}, {"fst", kSizeMd}, {"fstp", kSizeMd}, {"fldenv", kEv}, {"fldcw", kEv}, {"fstenv", kEv}, {"fstcw", kEv}},  //  2 D9 memory
    {{"fld", kStN}, {"fxch", kStN}, {"fnop", kNoOperands}, {"fstp", kStN}, {"???", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}},  //  3 D9 register, reg 0 to 3
    {{"fiadd", kSizeMd}, {"fimul", kSizeMd}, {"ficom", kSizeMd}, {"ficomp", kSizeMd}, {"fisub", kSizeMd}, {"fisubr", kSizeMd}, {"fidiv", kSizeMd}, {"fidivr", kSizeMd}},  //  4 DA memory
    {{"fcmovb", kSt_StN}, {"fcmove", kSt_StN}, {"fcmovbe", kSt_StN}, {"fcmovu", kSt_StN}, {"???", kNoOperands}, {"fucompp", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}},  //  5 DA register
    {{"fild", kSizeMd}, {"fisttp", kSizeMd}, {"fist", kSizeMd}, {"fistp", kSizeMd}, {"???", kNoOperands}, {"fld", kSizeMt}, {"???", kNoOperands}, {"fstp", kSizeMt}},  //  6 DB memory
    {{"feni", kNoOperands}, {"fdisi", kNoOperands}, {"fclex", kNoOperands}, {"finit", kNoOperands}, {"fsetpm", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}, {"", kDbRegisterByReg}},  //  7 DB register: reg 4 selects by rm, any other reg selects entry 7
    {{"fadd", kSizeMq}, {"fmul", kSizeMq}, {"fcom", kSizeMq}, {"fcomp", kSizeMq}, {"fsub", kSizeMq}, {"fsubr", kSizeMq}, {"fdiv", kSizeMq}, {"fdivr", kSizeMq}},  //  8 DC memory
    {{"fadd", kStN_St}, {"fmul", kStN_St}, {"fcom", kStN}, {"fcomp", kStN}, {"fsub", kStN_St}, {"fsubr", kStN_St}, {"fdiv", kStN_St}, {"fdivr", kStN_St}},  //  9 DC register
    {{"fld", kSizeMq}, {"fisttp", kSizeMq}, {"fst", kSizeMq}, {"fstp", kSizeMq}, {"frstor", kEv}, {"???", kNoOperands}, {"fsave", kEv}, {"fstsw", kEv}},  // 10 DD memory
    {{"ffree", kStN}, {"fxch", kStN}, {"fst", kStN}, {"fstp", kStN}, {"fucom", kStN}, {"fucomp", kStN}, {"???", kNoOperands}, {"???", kNoOperands}},  // 11 DD register
    {{"fiadd", kSizeMw}, {"fimul", kSizeMw}, {"ficom", kSizeMw}, {"ficomp", kSizeMw}, {"fisub", kSizeMw}, {"fisubr", kSizeMw}, {"fidiv", kSizeMw}, {"fidivr", kSizeMw}},  // 12 DE memory
    {{"faddp", kStN_St}, {"fmulp", kStN_St}, {"fcomp", kStN}, {"fcompp", kNoOperands}, {"fsubp", kStN_St}, {"fsubrp", kStN_St}, {"fdivp", kStN_St}, {"fdivrp", kStN_St}},  // 13 DE register
    {{"fild", kSizeMw}, {"fisttp", kSizeMw}, {"fist", kSizeMw}, {"fistp", kSizeMw}, {"fbld", kSizeMt}, {"fild", kSizeMq}, {"fbstp", kSizeMt}, {"fistp", kSizeMq}},  // 14 DF memory
    {{"ffree", kStN}, {"fxch", kStN}, {"fst", kStN}, {"fstp", kStN}, {"fstsw", kNoOperands}, {"fucomip", kSt_StN}, {"fcomip", kSt_StN}, {"???", kNoOperands}},  // 15 DF register
    {{"fchs", kNoOperands}, {"fabs", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}, {"ftst", kNoOperands}, {"fxam", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}},  // 16 D9 E0 to E7, by rm
    {{"fld1", kNoOperands}, {"fldl2t", kNoOperands}, {"fldl2e", kNoOperands}, {"fldpi", kNoOperands}, {"fldlg2", kNoOperands}, {"fldln2", kNoOperands}, {"fldz", kNoOperands}, {"???", kNoOperands}},  // 17 D9 E8 to EF, by rm
    {{"f2xm1", kNoOperands}, {"fyl2x", kNoOperands}, {"fptan", kNoOperands}, {"fpatan", kNoOperands}, {"fxtract", kNoOperands}, {"fprem1", kNoOperands}, {"fdecstp", kNoOperands}, {"fincstp", kNoOperands}},  // 18 D9 F0 to F7, by rm
    {{"fprem", kNoOperands}, {"fyl2xp1", kNoOperands}, {"fsqrt", kNoOperands}, {"fsincos", kNoOperands}, {"frndint", kNoOperands}, {"fscale", kNoOperands}, {"fsin", kNoOperands}, {"fcos", kNoOperands}},  // 19 D9 F8 to FF, by rm
    {{"test", kSizeEb_Ib}, {"test", kSizeEb_Ib}, {"not", kSizeEb}, {"neg", kSizeEb}, {"mul", kSizeEb}, {"imul", kSizeEb}, {"div", kSizeEb}, {"idiv", kSizeEb}},  // 20 F6
    {{"test", kSizeEv_Iz}, {"test", kSizeEv_Iz}, {"not", kSizeEv}, {"neg", kSizeEv}, {"mul", kSizeEv}, {"imul", kSizeEv}, {"div", kSizeEv}, {"idiv", kSizeEv}},  // 21 F7
    {{"inc", kSizeEv}, {"dec", kSizeEv}, {"call", kSizeEv}, {"call", kSizeMp}, {"jmp", kSizeEv}, {"jmp", kSizeMp}, {"push", kSizeEv}, {"???", kNoOperands}},  // 22 FF
    {{"sgdt", kEv}, {"sidt", kEv}, {"lgdt", kEv}, {"lidt", kEv}, {"smsw", kSizeMw}, {"???", kNoOperands}, {"lmsw", kSizeMw}, {"invlpg", kSizeMb}},  // 23 0F 01 (register forms: kDescriptorRegisterForms)
    // DB with a register operand and reg other than 4 (P6).
    {{"fcmovnb", kSt_StN}, {"fcmovne", kSt_StN}, {"fcmovnbe", kSt_StN}, {"fcmovnu", kSt_StN}, {"???", kNoOperands}, {"fucomi", kSt_StN}, {"fcomi", kSt_StN}, {"???", kNoOperands}},  // 24 DB register, reg other than 4
    {{"fxsave", kNothingM}, {"fxrstor", kNothingM}, {"ldmxcsr", kSizeMd}, {"stmxcsr", kSizeMd}, {"xsave", kNothingM}, {"xrstor", kNothingM}, {"xsaveopt", kNothingM}, {"clflush", kSizeMb}},  // 25 0F AE memory
    {{"???", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}, {"lfence", kNoOperands}, {"mfence", kNoOperands}, {"sfence", kNoOperands}},  // 26 0F AE register
    {{"prefetchnta", kSizeMb}, {"prefetcht0", kSizeMb}, {"prefetcht1", kSizeMb}, {"prefetcht2", kSizeMb}, {"nop", kSizeEv}, {"nop", kSizeEv}, {"nop", kSizeEv}, {"nop", kSizeEv}},  // 27 0F 18
    {{"prefetch", kPrefetchMb}, {"prefetchw", kPrefetchMb}, {"prefetchwt1", kPrefetchMb}, {"prefetch", kPrefetchMb}, {"prefetch", kPrefetchMb}, {"prefetch", kPrefetchMb}, {"prefetch", kPrefetchMb}, {"prefetch", kPrefetchMb}},  // 28 0F 0D
    {{"???", kNoOperands}, {"???", kNoOperands}, {"psrlw", kShiftMmx}, {"???", kNoOperands}, {"psraw", kShiftMmx}, {"???", kNoOperands}, {"psllw", kShiftMmx}, {"???", kNoOperands}},  // 29 0F 71
    {{"???", kNoOperands}, {"???", kNoOperands}, {"psrlw", kShiftXmm}, {"???", kNoOperands}, {"psraw", kShiftXmm}, {"???", kNoOperands}, {"psllw", kShiftXmm}, {"???", kNoOperands}},  // 30 66 0F 71
    {{"???", kNoOperands}, {"???", kNoOperands}, {"psrld", kShiftMmx}, {"???", kNoOperands}, {"psrad", kShiftMmx}, {"???", kNoOperands}, {"pslld", kShiftMmx}, {"???", kNoOperands}},  // 31 0F 72
    {{"???", kNoOperands}, {"???", kNoOperands}, {"psrld", kShiftXmm}, {"???", kNoOperands}, {"psrad", kShiftXmm}, {"???", kNoOperands}, {"pslld", kShiftXmm}, {"???", kNoOperands}},  // 32 66 0F 72
    {{"???", kNoOperands}, {"???", kNoOperands}, {"psrlq", kShiftMmx}, {"???", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}, {"psllq", kShiftMmx}, {"???", kNoOperands}},  // 33 0F 73
    {{"???", kNoOperands}, {"???", kNoOperands}, {"psrlq", kShiftXmm}, {"psrldq", kShiftXmm}, {"???", kNoOperands}, {"???", kNoOperands}, {"psllq", kShiftXmm}, {"pslldq", kShiftXmm}},  // 34 66 0F 73
    {{"???", kNoOperands}, {"blsr", kBmiGroup}, {"blsmsk", kBmiGroup}, {"blsi", kBmiGroup}, {"???", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}},  // 35 VEX 0F 38 F3
    {{"???", kNoOperands}, {"cmpxchg8b", kSizeMq}, {"???", kNoOperands}, {"xrstors", kMemoryNoValue}, {"xsavec", kMemoryNoValue}, {"xsaves", kMemoryNoValue}, {"vmptrld", kSizeMq}, {"vmptrst", kSizeMq}},  // 36 0F C7 memory
    {{"???", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}, {"???", kNoOperands}, {"rdrand", kSizeEv}, {"rdseed", kSizeEv}},  // 37 0F C7 register
};
static_assert(std::size(kExtensionTable) == kExtensionRowCount, "one extension row per group");
static_assert(std::size(kExtensionTable[0]) == kEntriesPerRow, "8 entries per extension row");

const char* const kDescriptorRegisterForms[kEntriesPerRow][kEntriesPerRow] = {
    {"???", "vmcall", "vmlaunch", "vmresume", "vmxoff", "pconfig", "???", "???"},  // C0..C7
    {"monitor", "mwait", "clac", "stac", "???", "???", "???", "encls"},              // C8..CF
    {"xgetbv", "xsetbv", "???", "???", "vmfunc", "xend", "xtest", "enclu"},          // D0..D7
    {"vmrun", "vmmcall", "vmload", "vmsave", "stgi", "clgi", "skinit", "invlpga"},   // D8..DF
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},        // E0..E7 smsw
    {"serialize", "???", "???", "???", "???", "???", "rdpkru", "wrpkru"},            // E8..EF
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},        // F0..F7 lmsw
    {"???", "rdtscp", "monitorx", "mwaitx", "clzero", "rdpru", "???", "???"},         // F8..FF (swapgs: 64-bit only)
};
static_assert(std::size(kDescriptorRegisterForms) == kEntriesPerRow, "one row per reg field");

const char kRegisterNames[] = "alcldlblahchdhbhaxcxdxbxspbpsidi";
static_assert(sizeof kRegisterNames == 33, "16 names of two letters");
const char kSegmentLetters[] = "ecsdfg";
const char* const kMemoryRegisters[8] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"};
const char* const kMemoryForms16[8] = {"bx+si", "bx+di", "bp+si", "bp+di", "si", "di", "bp", "bx"};
const char kHexDigits[] = "0123456789abcdef";

const char kSizeByte[] = "byte ptr ";
const char kSizeWord[] = "word ptr ";
const char kSizeDword[] = "dword ptr ";
const char kSizeQword[] = "qword ptr ";
const char kSizeTbyte[] = "tbyte ptr ";
const char kSizeFword[] = "fword ptr ";
const char kSizeXmmword[] = "xmmword ptr ";
const char kSizeYmmword[] = "ymmword ptr ";
const char kSizeZmmword[] = "zmmword ptr ";

const AlternateNameRow kAlternateNames[] = {
    {kWhenRegister, 0, false, "movhlps"},  // 0  0F 12 with a register source
    {kWhenRegister, 0, false, "movlhps"},  // 1  0F 16 with a register source
    {kWhenModRM, 0xFB, true, "endbr32"},   // 2  F3 0F 1E FB
    {kWhenModRM, 0xFA, true, "endbr64"},   // 3  F3 0F 1E FA
    {kWhenVexLong, 0, true, "vzeroall"},   // 4  VEX.256 0F 77
    {kWhenRegister, 0, true, "???"},       // 5  kMemoryOnly
    {kWhenMemory, 0, true, "???"},         // 6  kRegisterOnly
};
static_assert(std::size(kAlternateNames) == kAlternateNameCount, "one row per alternate name");

const char* const kRepeatForms[] = {"pause", "tzcnt", "lzcnt"};
static_assert(std::size(kRepeatForms) == kRepeatFormCount, "90, 0F BC and 0F BD");

const char kStRegSt[] = "st(0),st";
const char kStComma[] = "st,";
const char kStRegister[] = "st(0)";

const char kSegmentDs[] = "ds:";
const char kSegmentEs[] = "es:";
const char kSegmentSs[] = "ss:";

const char kUnknownMnemonic[] = "???";
const char kCwde[] = "cwde";
const char kJecxz[] = "jecxz";

}  // namespace disasm
