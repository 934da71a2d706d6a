#include "disasm/prefixed_maps.h"

#include <array>
#include <iterator>

namespace disasm {

namespace {

// Operand scripts. Reading of the new operations (class as in tables.cpp: "+M" decode
// ModR/M, "+," comma, "." complete): SimdSize(class,size), SimdReg(class), VexSource(class)
// writes "vvvv," under VEX only, VexRegister(class), RegFromImm(class).
// Classes: gpr (32-bit), mm, xmm, vec (xmm/ymm by VEX.L). Sizes: m8 .. m128, mvec (the vector
// length), mhalf, mquarter, meighth (parts of it), mW (4, or 8 with VEX.W), vsib.
#define CS(cls, size) static_cast<uint8_t>((cls) << 4 | (size))
constexpr uint8_t G = 0, MM = 1, X = 2, V = 3;

constexpr uint8_t kNone[] = {0xd8};  // Nothing .
// MMX
constexpr uint8_t kPq_Qq[] = {0x6d, CS(MM, 4), 0xae, MM, 0xd6};               // SimdSize(mm,m64) +M; SimdReg(mm) +,; ModRMWithSize .
constexpr uint8_t kPq_Qq_Ib[] = {0x6d, CS(MM, 4), 0xae, MM, 0x96, 0xd1};      // ... ModRMWithSize +,; Imm8 .
constexpr uint8_t kQq_Pq[] = {0x6d, CS(MM, 4), 0x96, 0xee, MM};               // SimdSize(mm,m64) +M; ModRMWithSize +,; SimdReg(mm) .
constexpr uint8_t kPd_Ed[] = {0x6d, CS(G, 3), 0xae, MM, 0xd6};                // SimdSize(gpr,m32) +M; SimdReg(mm) +,; ModRMWithSize .
constexpr uint8_t kEd_Pd[] = {0x6d, CS(G, 3), 0x96, 0xee, MM};                // SimdSize(gpr,m32) +M; ModRMWithSize +,; SimdReg(mm) .
constexpr uint8_t kGd_Nq[] = {0x6d, CS(MM, 4), 0x38, 6, 0xae, G, 0xd6};                // SimdSize(mm,m64) +M; SimdReg(gpr) +,; ModRMWithSize .
constexpr uint8_t kPq_Ew_Ib[] = {0x6d, CS(G, 2), 0xae, MM, 0x96, 0xd1};       // SimdSize(gpr,m16) +M; SimdReg(mm) +,; ModRMWithSize +,; Imm8 .
constexpr uint8_t kGd_Nq_Ib[] = {0x6d, CS(MM, 4), 0x38, 6, 0xae, G, 0x96, 0xd1};       // SimdSize(mm,m64) +M; SimdReg(gpr) +,; ModRMWithSize +,; Imm8 .
// Vectors: legacy SSE forms and their VEX forms with the extra source VEX.vvvv.
constexpr uint8_t kVx_Hx_Wx[] = {0x6d, CS(V, 6), 0xae, V, 0x2f, V, 0xd6};     // SimdSize(vec,mvec) +M; SimdReg(vec) +,; VexSource(vec); ModRMWithSize .
constexpr uint8_t kVx_Wx[] = {0x6d, CS(V, 6), 0xae, V, 0xd6};                 // SimdSize(vec,mvec) +M; SimdReg(vec) +,; ModRMWithSize .
constexpr uint8_t kWx_Vx[] = {0x6d, CS(V, 6), 0x96, 0xee, V};                 // SimdSize(vec,mvec) +M; ModRMWithSize +,; SimdReg(vec) .
constexpr uint8_t kVx_Hx_Wx_Ib[] = {0x6d, CS(V, 6), 0xae, V, 0x2f, V, 0x96, 0xd1};  // ... ModRMWithSize +,; Imm8 .
constexpr uint8_t kVx_Wx_Ib[] = {0x6d, CS(V, 6), 0xae, V, 0x96, 0xd1};        // SimdSize(vec,mvec) +M; SimdReg(vec) +,; ModRMWithSize +,; Imm8 .
constexpr uint8_t kVx_Hx_Wx_Lx[] = {0x6d, CS(V, 6), 0xae, V, 0x2f, V, 0x96, 0xf4, V};  // ... ModRMWithSize +,; RegFromImm(vec) .
constexpr uint8_t kVss_Hss_Wss[] = {0x6d, CS(X, 3), 0xae, X, 0x2f, X, 0xd6};  // SimdSize(xmm,m32) +M; SimdReg(xmm) +,; VexSource(xmm); ModRMWithSize .
constexpr uint8_t kVsd_Hsd_Wsd[] = {0x6d, CS(X, 4), 0xae, X, 0x2f, X, 0xd6};  // SimdSize(xmm,m64) +M; SimdReg(xmm) +,; VexSource(xmm); ModRMWithSize .
constexpr uint8_t kVss_Wss[] = {0x6d, CS(X, 3), 0xae, X, 0xd6};               // SimdSize(xmm,m32) +M; SimdReg(xmm) +,; ModRMWithSize .
constexpr uint8_t kVsd_Wsd[] = {0x6d, CS(X, 4), 0xae, X, 0xd6};               // SimdSize(xmm,m64) +M; SimdReg(xmm) +,; ModRMWithSize .
constexpr uint8_t kVss_Hss_Wss_Ib[] = {0x6d, CS(X, 3), 0xae, X, 0x2f, X, 0x96, 0xd1};
constexpr uint8_t kVsd_Hsd_Wsd_Ib[] = {0x6d, CS(X, 4), 0xae, X, 0x2f, X, 0x96, 0xd1};
constexpr uint8_t kMovssLoad[] = {0x6d, CS(X, 3), 0xae, X, 0x2f, 0x40 | X, 0xd6};   // VexSource for register forms only
constexpr uint8_t kMovsdLoad[] = {0x6d, CS(X, 4), 0xae, X, 0x2f, 0x40 | X, 0xd6};
constexpr uint8_t kMovssStore[] = {0x6d, CS(X, 3), 0x96, 0x2f, 0x40 | X, 0xee, X};
constexpr uint8_t kMovsdStore[] = {0x6d, CS(X, 4), 0x96, 0x2f, 0x40 | X, 0xee, X};
constexpr uint8_t kMq_Vq[] = {0x6d, CS(X, 4), 0x96, 0xee, X};                 // SimdSize(xmm,m64) +M; ModRMWithSize +,; SimdReg(xmm) .
constexpr uint8_t kMovlps[] = {0x6d, CS(X, 4), 0xae, X, 0x2f, X, 0x38, 0, 0xd6};  // ... AlternateName(movhlps); ModRMWithSize .
constexpr uint8_t kMovhps[] = {0x6d, CS(X, 4), 0xae, X, 0x2f, X, 0x38, 1, 0xd6};  // ... AlternateName(movlhps); ModRMWithSize .
constexpr uint8_t kVx_Whalf[] = {0x6d, CS(X, 7), 0xae, V, 0xd6};              // SimdSize(xmm,mhalf) +M; SimdReg(vec) +,; ModRMWithSize .
constexpr uint8_t kVx_Wquarter[] = {0x6d, CS(X, 8), 0xae, V, 0xd6};
constexpr uint8_t kVx_Weighth[] = {0x6d, CS(X, 9), 0xae, V, 0xd6};
constexpr uint8_t kVx_Wvhalf[] = {0x6d, CS(V, 7), 0xae, V, 0xd6};             // movddup: the rm register follows the vector length
constexpr uint8_t kVxmm_Wx[] = {0x6d, CS(V, 6), 0xae, X, 0xd6};               // SimdSize(vec,mvec) +M; SimdReg(xmm) +,; ModRMWithSize .
constexpr uint8_t kVss_Hss_Ed[] = {0x6d, CS(G, 3), 0xae, X, 0x2f, X, 0xd6};   // SimdSize(gpr,m32) +M; SimdReg(xmm) +,; VexSource(xmm); ModRMWithSize .
constexpr uint8_t kGd_Wss[] = {0x6d, CS(X, 3), 0xae, G, 0xd6};                // SimdSize(xmm,m32) +M; SimdReg(gpr) +,; ModRMWithSize .
constexpr uint8_t kGd_Wsd[] = {0x6d, CS(X, 4), 0xae, G, 0xd6};
constexpr uint8_t kVps_Qpi[] = {0x6d, CS(MM, 4), 0xae, X, 0xd6};              // SimdSize(mm,m64) +M; SimdReg(xmm) +,; ModRMWithSize .
constexpr uint8_t kPpi_Wq[] = {0x6d, CS(X, 4), 0xae, MM, 0xd6};               // SimdSize(xmm,m64) +M; SimdReg(mm) +,; ModRMWithSize .
constexpr uint8_t kPpi_Wx[] = {0x6d, CS(X, 5), 0xae, MM, 0xd6};               // SimdSize(xmm,m128) +M; SimdReg(mm) +,; ModRMWithSize .
constexpr uint8_t kGd_Ux[] = {0x6d, CS(V, 6), 0x38, 6, 0xae, G, 0xd6};                 // SimdSize(vec,mvec) +M; SimdReg(gpr) +,; ModRMWithSize .
constexpr uint8_t kVd_Ed[] = {0x6d, CS(G, 3), 0xae, X, 0xd6};                 // SimdSize(gpr,m32) +M; SimdReg(xmm) +,; ModRMWithSize .
constexpr uint8_t kEd_Vd[] = {0x6d, CS(G, 3), 0x96, 0xee, X};                 // SimdSize(gpr,m32) +M; ModRMWithSize +,; SimdReg(xmm) .
constexpr uint8_t kVx_Hx_Ew_Ib[] = {0x6d, CS(G, 2), 0xae, X, 0x2f, X, 0x96, 0xd1};  // pinsrw
constexpr uint8_t kVx_Hx_Eb_Ib[] = {0x6d, CS(G, 1), 0xae, X, 0x2f, X, 0x96, 0xd1};  // pinsrb
constexpr uint8_t kVx_Hx_Ed_Ib[] = {0x6d, CS(G, 3), 0xae, X, 0x2f, X, 0x96, 0xd1};  // pinsrd
constexpr uint8_t kGd_Ux_Ib[] = {0x6d, CS(X, 5), 0x38, 6, 0xae, G, 0x96, 0xd1};        // pextrw (0F C5)
constexpr uint8_t kEb_Vx_Ib[] = {0x6d, CS(G, 1), 0x96, 0xae, X, 0xd1};        // SimdSize(gpr,m8) +M; ModRMWithSize +,; SimdReg(xmm) +,; Imm8 .
constexpr uint8_t kEw_Vx_Ib[] = {0x6d, CS(G, 2), 0x96, 0xae, X, 0xd1};
constexpr uint8_t kEd_Vx_Ib[] = {0x6d, CS(G, 3), 0x96, 0xae, X, 0xd1};
constexpr uint8_t kMd_Gd[] = {0x6d, CS(G, 3), 0x38, 5, 0x96, 0xee, G};        // movnti
// Forms the processor defines for one kind of ModR/M operand only; AlternateName 5 (memory
// only) or 6 (register only) makes the other "???".
constexpr uint8_t kMq_Vq_Memory[] = {0x6d, CS(X, 4), 0x38, 5, 0x96, 0xee, X};     // movlps/movhps stores
constexpr uint8_t kVsd_Hsd_Mq[] = {0x6d, CS(X, 4), 0x38, 5, 0xae, X, 0x2f, X, 0xd6};  // movlpd/movhpd loads
constexpr uint8_t kMx_Vx[] = {0x6d, CS(V, 6), 0x38, 5, 0x96, 0xee, V};            // non-temporal stores
constexpr uint8_t kVx_Mx[] = {0x6d, CS(V, 6), 0x38, 5, 0xae, V, 0xd6};            // movntdqa, lddqu
constexpr uint8_t kMq_Pq[] = {0x6d, CS(MM, 4), 0x38, 5, 0x96, 0xee, MM};          // movntq
constexpr uint8_t kPq_Nq[] = {0x6d, CS(MM, 4), 0x38, 6, 0xae, MM, 0xd6};          // maskmovq
constexpr uint8_t kVx_Ux[] = {0x6d, CS(V, 6), 0x38, 6, 0xae, V, 0xd6};            // maskmovdqu
constexpr uint8_t kPq_Ux[] = {0x6d, CS(X, 5), 0x38, 6, 0xae, MM, 0xd6};           // movdq2q
constexpr uint8_t kVx_Nq[] = {0x6d, CS(MM, 4), 0x38, 6, 0xae, X, 0xd6};           // movq2dq
// Groups selected by the ModR/M reg field (rows of the extension table).
constexpr uint8_t kGroup0F71Mmx[] = {0x58, 0x10, 29};   // Nothing +M; ExtensionRow(29)
constexpr uint8_t kGroup0F71Xmm[] = {0x58, 0x10, 30};
constexpr uint8_t kGroup0F72Mmx[] = {0x58, 0x10, 31};
constexpr uint8_t kGroup0F72Xmm[] = {0x58, 0x10, 32};
constexpr uint8_t kGroup0F73Mmx[] = {0x58, 0x10, 33};
constexpr uint8_t kGroup0F73Xmm[] = {0x58, 0x10, 34};
constexpr uint8_t kGroup0F18[] = {0x58, 0x10, 27};
constexpr uint8_t kGroup0F0D[] = {0x58, 0x10, 28};
constexpr uint8_t kGroup0FAE[] = {0x58, 0x37, 25};      // Nothing +M; ExtensionRowByMod(25)
constexpr uint8_t kGroupBmi[] = {0x58, 0x10, 35};
// General registers.
constexpr uint8_t kEb_Gb[] = {0x48, 0x97, 0xc6};         // SizeByte +M; ModRM +,; Reg8FromReg .
constexpr uint8_t kEv_Gv[] = {0x67, 0x97, 0xe9};         // SizeWordOrDword +M; ModRM +,; RegFromReg .
constexpr uint8_t kGv_Ev[] = {0x67, 0xa9, 0xd7};         // SizeWordOrDword +M; RegFromReg +,; ModRM .
constexpr uint8_t kGv_Mv[] = {0x67, 0x38, 5, 0xa9, 0xd7};  // movbe loads: memory only
constexpr uint8_t kMv_Gv[] = {0x67, 0x38, 5, 0x97, 0xe9};  // movbe stores: memory only
constexpr uint8_t kSizeEv[] = {0x67, 0xd6};              // SizeWordOrDword +M; ModRMWithSize .
constexpr uint8_t kNopOrEndbr[] = {0x67, 0x38, 2, 0x38, 3, 0xd6};  // SizeWordOrDword +M; AlternateName(endbr32); AlternateName(endbr64); ModRMWithSize .
constexpr uint8_t kGd_Eb[] = {0x48, 0xae, G, 0xd6};      // SizeByte +M; SimdReg(gpr) +,; ModRMWithSize .
constexpr uint8_t kGd_Ev[] = {0x67, 0xae, G, 0xd6};      // SizeWordOrDword +M; SimdReg(gpr) +,; ModRMWithSize .
constexpr uint8_t kGd_By_Ed[] = {0x6d, CS(G, 3), 0xae, G, 0xb0, G, 0xd6};   // SimdSize(gpr,m32) +M; SimdReg(gpr) +,; VexRegister(gpr) +,; ModRMWithSize .
constexpr uint8_t kGd_Ed_By[] = {0x6d, CS(G, 3), 0xae, G, 0x96, 0xf0, G};   // SimdSize(gpr,m32) +M; SimdReg(gpr) +,; ModRMWithSize +,; VexRegister(gpr) .
constexpr uint8_t kGd_Ed_Ib[] = {0x6d, CS(G, 3), 0xae, G, 0x96, 0xd1};      // SimdSize(gpr,m32) +M; SimdReg(gpr) +,; ModRMWithSize +,; Imm8 .
// AVX and AVX2 only.
constexpr uint8_t kVzero[] = {0x38, 4, 0xd8};            // AlternateName(vzeroall); Nothing .
constexpr uint8_t kBroadcast8[] = {0x6d, CS(X, 1), 0xae, V, 0xd6};
constexpr uint8_t kBroadcast16[] = {0x6d, CS(X, 2), 0xae, V, 0xd6};
constexpr uint8_t kBroadcast32[] = {0x6d, CS(X, 3), 0xae, V, 0xd6};
constexpr uint8_t kBroadcast64[] = {0x6d, CS(X, 4), 0xae, V, 0xd6};
constexpr uint8_t kBroadcast128[] = {0x6d, CS(X, 5), 0xae, V, 0xd6};
constexpr uint8_t kMaskStore[] = {0x6d, CS(V, 6), 0x96, 0x2f, V, 0xee, V};        // SimdSize(vec,mvec) +M; ModRMWithSize +,; VexSource(vec); SimdReg(vec) .
constexpr uint8_t kVx_Hx_Wx_W[] = {0x36, 'd', 0x6d, CS(V, 6), 0xae, V, 0x2f, V, 0xd6};   // VexWSuffix(d/q); then as kVx_Hx_Wx
constexpr uint8_t kMaskStoreW[] = {0x36, 'd', 0x6d, CS(V, 6), 0x96, 0x2f, V, 0xee, V};
constexpr uint8_t kGatherW[] = {0x36, 'd', 0x6d, CS(V, 11), 0xae, V, 0x96, 0xf0, V};    // VexWSuffix(d/q); SimdSize(vec,vsib) +M; SimdReg(vec) +,; ModRMWithSize +,; VexRegister(vec) .
constexpr uint8_t kGatherPs[] = {0x36, 's', 0x6d, CS(V, 11), 0xae, V, 0x96, 0xf0, V};   // VexWSuffix(s/d); as kGatherW
constexpr uint8_t kFmaPacked[] = {0x36, 's', 0x6d, CS(V, 6), 0xae, V, 0x2f, V, 0xd6};    // VexWSuffix(s/d); then as kVx_Hx_Wx
constexpr uint8_t kFmaScalar[] = {0x36, 's', 0x6d, CS(X, 10), 0xae, X, 0x2f, X, 0xd6};   // VexWSuffix(s/d); SimdSize(xmm,mW) +M; ...
constexpr uint8_t kVx_Hx_W128_Ib[] = {0x6d, CS(X, 5), 0xae, V, 0x2f, V, 0x96, 0xd1};     // vinsertf128
constexpr uint8_t kW128_Vx_Ib[] = {0x6d, CS(X, 5), 0x96, 0xae, V, 0xd1};                 // vextractf128
constexpr uint8_t kWhalf_Vx_Ib[] = {0x6d, CS(X, 7), 0x96, 0xae, V, 0xd1};                // vcvtps2ph
constexpr uint8_t kVx_Wx_Ib_W[] = {0x6d, CS(V, 6), 0xae, V, 0x96, 0xd1};                 // vpermq, vpermpd

#undef CS

// Rows sorted by opcode, then by prefix. "" rows are groups: the member's name follows.
constexpr PrefixedRow kRows0F[] = {
    {0x07, kNoPrefix, kGeneral, "sysret", kNone},
    {0x08, kNoPrefix, kGeneral, "invd", kNone},
    {0x09, kNoPrefix, kLegacy, "wbinvd", kNone},
    {0x09, kPrefixF3, kLegacy, "wbnoinvd", kNone},
    {0x0B, kNoPrefix, kGeneral, "ud2", kNone},
    {0x0D, kNoPrefix, kGeneral, "", kGroup0F0D},
    {0x10, kNoPrefix, kBoth, "movups", kVx_Wx},
    {0x10, kPrefix66, kBoth, "movupd", kVx_Wx},
    {0x10, kPrefixF3, kBoth, "movss", kMovssLoad},
    {0x10, kPrefixF2, kBoth, "movsd", kMovsdLoad},
    {0x11, kNoPrefix, kBoth, "movups", kWx_Vx},
    {0x11, kPrefix66, kBoth, "movupd", kWx_Vx},
    {0x11, kPrefixF3, kBoth, "movss", kMovssStore},
    {0x11, kPrefixF2, kBoth, "movsd", kMovsdStore},
    {0x12, kNoPrefix, kBoth, "movlps", kMovlps},
    {0x12, kPrefix66, kBoth, "movlpd", kVsd_Hsd_Mq},
    {0x12, kPrefixF3, kBoth, "movsldup", kVx_Wx},
    {0x12, kPrefixF2, kBoth, "movddup", kVx_Wvhalf},
    {0x13, kNoPrefix, kBoth, "movlps", kMq_Vq_Memory},
    {0x13, kPrefix66, kBoth, "movlpd", kMq_Vq_Memory},
    {0x14, kNoPrefix, kBoth, "unpcklps", kVx_Hx_Wx},
    {0x14, kPrefix66, kBoth, "unpcklpd", kVx_Hx_Wx},
    {0x15, kNoPrefix, kBoth, "unpckhps", kVx_Hx_Wx},
    {0x15, kPrefix66, kBoth, "unpckhpd", kVx_Hx_Wx},
    {0x16, kNoPrefix, kBoth, "movhps", kMovhps},
    {0x16, kPrefix66, kBoth, "movhpd", kVsd_Hsd_Mq},
    {0x16, kPrefixF3, kBoth, "movshdup", kVx_Wx},
    {0x17, kNoPrefix, kBoth, "movhps", kMq_Vq_Memory},
    {0x17, kPrefix66, kBoth, "movhpd", kMq_Vq_Memory},
    {0x18, kNoPrefix, kGeneral, "", kGroup0F18},
    {0x19, kNoPrefix, kGeneral, "nop", kSizeEv},
    {0x1A, kNoPrefix, kGeneral, "nop", kSizeEv},
    {0x1B, kNoPrefix, kGeneral, "nop", kSizeEv},
    {0x1C, kNoPrefix, kGeneral, "nop", kSizeEv},
    {0x1D, kNoPrefix, kGeneral, "nop", kSizeEv},
    {0x1E, kNoPrefix, kGeneral, "nop", kSizeEv},
    {0x1E, kPrefixF3, kLegacy, "nop", kNopOrEndbr},
    {0x1F, kNoPrefix, kGeneral, "nop", kSizeEv},
    {0x28, kNoPrefix, kBoth, "movaps", kVx_Wx},
    {0x28, kPrefix66, kBoth, "movapd", kVx_Wx},
    {0x29, kNoPrefix, kBoth, "movaps", kWx_Vx},
    {0x29, kPrefix66, kBoth, "movapd", kWx_Vx},
    {0x2A, kNoPrefix, kLegacy, "cvtpi2ps", kVps_Qpi},
    {0x2A, kPrefix66, kLegacy, "cvtpi2pd", kVps_Qpi},
    {0x2A, kPrefixF3, kBoth, "cvtsi2ss", kVss_Hss_Ed},
    {0x2A, kPrefixF2, kBoth, "cvtsi2sd", kVss_Hss_Ed},
    {0x2B, kNoPrefix, kBoth, "movntps", kMx_Vx},
    {0x2B, kPrefix66, kBoth, "movntpd", kMx_Vx},
    {0x2C, kNoPrefix, kLegacy, "cvttps2pi", kPpi_Wq},
    {0x2C, kPrefix66, kLegacy, "cvttpd2pi", kPpi_Wx},
    {0x2C, kPrefixF3, kBoth, "cvttss2si", kGd_Wss},
    {0x2C, kPrefixF2, kBoth, "cvttsd2si", kGd_Wsd},
    {0x2D, kNoPrefix, kLegacy, "cvtps2pi", kPpi_Wq},
    {0x2D, kPrefix66, kLegacy, "cvtpd2pi", kPpi_Wx},
    {0x2D, kPrefixF3, kBoth, "cvtss2si", kGd_Wss},
    {0x2D, kPrefixF2, kBoth, "cvtsd2si", kGd_Wsd},
    {0x2E, kNoPrefix, kBoth, "ucomiss", kVss_Wss},
    {0x2E, kPrefix66, kBoth, "ucomisd", kVsd_Wsd},
    {0x2F, kNoPrefix, kBoth, "comiss", kVss_Wss},
    {0x2F, kPrefix66, kBoth, "comisd", kVsd_Wsd},
    {0x33, kNoPrefix, kGeneral, "rdpmc", kNone},
    {0x34, kNoPrefix, kGeneral, "sysenter", kNone},
    {0x35, kNoPrefix, kGeneral, "sysexit", kNone},
    {0x37, kNoPrefix, kGeneral, "getsec", kNone},
    {0x40, kNoPrefix, kGeneral, "cmovo", kGv_Ev},
    {0x41, kNoPrefix, kGeneral, "cmovno", kGv_Ev},
    {0x42, kNoPrefix, kGeneral, "cmovb", kGv_Ev},
    {0x43, kNoPrefix, kGeneral, "cmovae", kGv_Ev},
    {0x44, kNoPrefix, kGeneral, "cmove", kGv_Ev},
    {0x45, kNoPrefix, kGeneral, "cmovne", kGv_Ev},
    {0x46, kNoPrefix, kGeneral, "cmovbe", kGv_Ev},
    {0x47, kNoPrefix, kGeneral, "cmova", kGv_Ev},
    {0x48, kNoPrefix, kGeneral, "cmovs", kGv_Ev},
    {0x49, kNoPrefix, kGeneral, "cmovns", kGv_Ev},
    {0x4A, kNoPrefix, kGeneral, "cmovp", kGv_Ev},
    {0x4B, kNoPrefix, kGeneral, "cmovnp", kGv_Ev},
    {0x4C, kNoPrefix, kGeneral, "cmovl", kGv_Ev},
    {0x4D, kNoPrefix, kGeneral, "cmovge", kGv_Ev},
    {0x4E, kNoPrefix, kGeneral, "cmovle", kGv_Ev},
    {0x4F, kNoPrefix, kGeneral, "cmovg", kGv_Ev},
    {0x50, kNoPrefix, kBoth, "movmskps", kGd_Ux},
    {0x50, kPrefix66, kBoth, "movmskpd", kGd_Ux},
    {0x51, kNoPrefix, kBoth, "sqrtps", kVx_Wx},
    {0x51, kPrefix66, kBoth, "sqrtpd", kVx_Wx},
    {0x51, kPrefixF3, kBoth, "sqrtss", kVss_Hss_Wss},
    {0x51, kPrefixF2, kBoth, "sqrtsd", kVsd_Hsd_Wsd},
    {0x52, kNoPrefix, kBoth, "rsqrtps", kVx_Wx},
    {0x52, kPrefixF3, kBoth, "rsqrtss", kVss_Hss_Wss},
    {0x53, kNoPrefix, kBoth, "rcpps", kVx_Wx},
    {0x53, kPrefixF3, kBoth, "rcpss", kVss_Hss_Wss},
    {0x54, kNoPrefix, kBoth, "andps", kVx_Hx_Wx},
    {0x54, kPrefix66, kBoth, "andpd", kVx_Hx_Wx},
    {0x55, kNoPrefix, kBoth, "andnps", kVx_Hx_Wx},
    {0x55, kPrefix66, kBoth, "andnpd", kVx_Hx_Wx},
    {0x56, kNoPrefix, kBoth, "orps", kVx_Hx_Wx},
    {0x56, kPrefix66, kBoth, "orpd", kVx_Hx_Wx},
    {0x57, kNoPrefix, kBoth, "xorps", kVx_Hx_Wx},
    {0x57, kPrefix66, kBoth, "xorpd", kVx_Hx_Wx},
    {0x58, kNoPrefix, kBoth, "addps", kVx_Hx_Wx},
    {0x58, kPrefix66, kBoth, "addpd", kVx_Hx_Wx},
    {0x58, kPrefixF3, kBoth, "addss", kVss_Hss_Wss},
    {0x58, kPrefixF2, kBoth, "addsd", kVsd_Hsd_Wsd},
    {0x59, kNoPrefix, kBoth, "mulps", kVx_Hx_Wx},
    {0x59, kPrefix66, kBoth, "mulpd", kVx_Hx_Wx},
    {0x59, kPrefixF3, kBoth, "mulss", kVss_Hss_Wss},
    {0x59, kPrefixF2, kBoth, "mulsd", kVsd_Hsd_Wsd},
    {0x5A, kNoPrefix, kBoth, "cvtps2pd", kVx_Whalf},
    {0x5A, kPrefix66, kBoth, "cvtpd2ps", kVxmm_Wx},
    {0x5A, kPrefixF3, kBoth, "cvtss2sd", kVss_Hss_Wss},
    {0x5A, kPrefixF2, kBoth, "cvtsd2ss", kVsd_Hsd_Wsd},
    {0x5B, kNoPrefix, kBoth, "cvtdq2ps", kVx_Wx},
    {0x5B, kPrefix66, kBoth, "cvtps2dq", kVx_Wx},
    {0x5B, kPrefixF3, kBoth, "cvttps2dq", kVx_Wx},
    {0x5C, kNoPrefix, kBoth, "subps", kVx_Hx_Wx},
    {0x5C, kPrefix66, kBoth, "subpd", kVx_Hx_Wx},
    {0x5C, kPrefixF3, kBoth, "subss", kVss_Hss_Wss},
    {0x5C, kPrefixF2, kBoth, "subsd", kVsd_Hsd_Wsd},
    {0x5D, kNoPrefix, kBoth, "minps", kVx_Hx_Wx},
    {0x5D, kPrefix66, kBoth, "minpd", kVx_Hx_Wx},
    {0x5D, kPrefixF3, kBoth, "minss", kVss_Hss_Wss},
    {0x5D, kPrefixF2, kBoth, "minsd", kVsd_Hsd_Wsd},
    {0x5E, kNoPrefix, kBoth, "divps", kVx_Hx_Wx},
    {0x5E, kPrefix66, kBoth, "divpd", kVx_Hx_Wx},
    {0x5E, kPrefixF3, kBoth, "divss", kVss_Hss_Wss},
    {0x5E, kPrefixF2, kBoth, "divsd", kVsd_Hsd_Wsd},
    {0x5F, kNoPrefix, kBoth, "maxps", kVx_Hx_Wx},
    {0x5F, kPrefix66, kBoth, "maxpd", kVx_Hx_Wx},
    {0x5F, kPrefixF3, kBoth, "maxss", kVss_Hss_Wss},
    {0x5F, kPrefixF2, kBoth, "maxsd", kVsd_Hsd_Wsd},
    {0x60, kNoPrefix, kLegacy, "punpcklbw", kPq_Qq},
    {0x60, kPrefix66, kBoth, "punpcklbw", kVx_Hx_Wx},
    {0x61, kNoPrefix, kLegacy, "punpcklwd", kPq_Qq},
    {0x61, kPrefix66, kBoth, "punpcklwd", kVx_Hx_Wx},
    {0x62, kNoPrefix, kLegacy, "punpckldq", kPq_Qq},
    {0x62, kPrefix66, kBoth, "punpckldq", kVx_Hx_Wx},
    {0x63, kNoPrefix, kLegacy, "packsswb", kPq_Qq},
    {0x63, kPrefix66, kBoth, "packsswb", kVx_Hx_Wx},
    {0x64, kNoPrefix, kLegacy, "pcmpgtb", kPq_Qq},
    {0x64, kPrefix66, kBoth, "pcmpgtb", kVx_Hx_Wx},
    {0x65, kNoPrefix, kLegacy, "pcmpgtw", kPq_Qq},
    {0x65, kPrefix66, kBoth, "pcmpgtw", kVx_Hx_Wx},
    {0x66, kNoPrefix, kLegacy, "pcmpgtd", kPq_Qq},
    {0x66, kPrefix66, kBoth, "pcmpgtd", kVx_Hx_Wx},
    {0x67, kNoPrefix, kLegacy, "packuswb", kPq_Qq},
    {0x67, kPrefix66, kBoth, "packuswb", kVx_Hx_Wx},
    {0x68, kNoPrefix, kLegacy, "punpckhbw", kPq_Qq},
    {0x68, kPrefix66, kBoth, "punpckhbw", kVx_Hx_Wx},
    {0x69, kNoPrefix, kLegacy, "punpckhwd", kPq_Qq},
    {0x69, kPrefix66, kBoth, "punpckhwd", kVx_Hx_Wx},
    {0x6A, kNoPrefix, kLegacy, "punpckhdq", kPq_Qq},
    {0x6A, kPrefix66, kBoth, "punpckhdq", kVx_Hx_Wx},
    {0x6B, kNoPrefix, kLegacy, "packssdw", kPq_Qq},
    {0x6B, kPrefix66, kBoth, "packssdw", kVx_Hx_Wx},
    {0x6C, kPrefix66, kBoth, "punpcklqdq", kVx_Hx_Wx},
    {0x6D, kPrefix66, kBoth, "punpckhqdq", kVx_Hx_Wx},
    {0x6E, kNoPrefix, kLegacy, "movd", kPd_Ed},
    {0x6E, kPrefix66, kBoth, "movd", kVd_Ed},
    {0x6F, kNoPrefix, kLegacy, "movq", kPq_Qq},
    {0x6F, kPrefix66, kBoth, "movdqa", kVx_Wx},
    {0x6F, kPrefixF3, kBoth, "movdqu", kVx_Wx},
    {0x70, kNoPrefix, kLegacy, "pshufw", kPq_Qq_Ib},
    {0x70, kPrefix66, kBoth, "pshufd", kVx_Wx_Ib},
    {0x70, kPrefixF3, kBoth, "pshufhw", kVx_Wx_Ib},
    {0x70, kPrefixF2, kBoth, "pshuflw", kVx_Wx_Ib},
    {0x71, kNoPrefix, kLegacy, "", kGroup0F71Mmx},
    {0x71, kPrefix66, kBoth, "", kGroup0F71Xmm},
    {0x72, kNoPrefix, kLegacy, "", kGroup0F72Mmx},
    {0x72, kPrefix66, kBoth, "", kGroup0F72Xmm},
    {0x73, kNoPrefix, kLegacy, "", kGroup0F73Mmx},
    {0x73, kPrefix66, kBoth, "", kGroup0F73Xmm},
    {0x74, kNoPrefix, kLegacy, "pcmpeqb", kPq_Qq},
    {0x74, kPrefix66, kBoth, "pcmpeqb", kVx_Hx_Wx},
    {0x75, kNoPrefix, kLegacy, "pcmpeqw", kPq_Qq},
    {0x75, kPrefix66, kBoth, "pcmpeqw", kVx_Hx_Wx},
    {0x76, kNoPrefix, kLegacy, "pcmpeqd", kPq_Qq},
    {0x76, kPrefix66, kBoth, "pcmpeqd", kVx_Hx_Wx},
    {0x77, kNoPrefix, kLegacy, "emms", kNone},
    {0x77, kNoPrefix, kVex, "vzeroupper", kVzero},
    {0x7C, kPrefix66, kBoth, "haddpd", kVx_Hx_Wx},
    {0x7C, kPrefixF2, kBoth, "haddps", kVx_Hx_Wx},
    {0x7D, kPrefix66, kBoth, "hsubpd", kVx_Hx_Wx},
    {0x7D, kPrefixF2, kBoth, "hsubps", kVx_Hx_Wx},
    {0x7E, kNoPrefix, kLegacy, "movd", kEd_Pd},
    {0x7E, kPrefix66, kBoth, "movd", kEd_Vd},
    {0x7E, kPrefixF3, kBoth, "movq", kVsd_Wsd},
    {0x7F, kNoPrefix, kLegacy, "movq", kQq_Pq},
    {0x7F, kPrefix66, kBoth, "movdqa", kWx_Vx},
    {0x7F, kPrefixF3, kBoth, "movdqu", kWx_Vx},
    {0xAE, kNoPrefix, kBothGeneral, "", kGroup0FAE},
    {0xB0, kNoPrefix, kGeneral, "cmpxchg", kEb_Gb},
    {0xB1, kNoPrefix, kGeneral, "cmpxchg", kEv_Gv},
    {0xB8, kPrefixF3, kLegacy, "popcnt", kGv_Ev},
    {0xB9, kNoPrefix, kGeneral, "ud1", kGv_Ev},
    {0xC2, kNoPrefix, kBoth, "cmpps", kVx_Hx_Wx_Ib},
    {0xC2, kPrefix66, kBoth, "cmppd", kVx_Hx_Wx_Ib},
    {0xC2, kPrefixF3, kBoth, "cmpss", kVss_Hss_Wss_Ib},
    {0xC2, kPrefixF2, kBoth, "cmpsd", kVsd_Hsd_Wsd_Ib},
    {0xC3, kNoPrefix, kLegacy, "movnti", kMd_Gd},
    {0xC4, kNoPrefix, kLegacy, "pinsrw", kPq_Ew_Ib},
    {0xC4, kPrefix66, kBoth, "pinsrw", kVx_Hx_Ew_Ib},
    {0xC5, kNoPrefix, kLegacy, "pextrw", kGd_Nq_Ib},
    {0xC5, kPrefix66, kBoth, "pextrw", kGd_Ux_Ib},
    {0xC6, kNoPrefix, kBoth, "shufps", kVx_Hx_Wx_Ib},
    {0xC6, kPrefix66, kBoth, "shufpd", kVx_Hx_Wx_Ib},
    {0xD0, kPrefix66, kBoth, "addsubpd", kVx_Hx_Wx},
    {0xD0, kPrefixF2, kBoth, "addsubps", kVx_Hx_Wx},
    {0xD1, kNoPrefix, kLegacy, "psrlw", kPq_Qq},
    {0xD1, kPrefix66, kBoth, "psrlw", kVx_Hx_Wx},
    {0xD2, kNoPrefix, kLegacy, "psrld", kPq_Qq},
    {0xD2, kPrefix66, kBoth, "psrld", kVx_Hx_Wx},
    {0xD3, kNoPrefix, kLegacy, "psrlq", kPq_Qq},
    {0xD3, kPrefix66, kBoth, "psrlq", kVx_Hx_Wx},
    {0xD4, kNoPrefix, kLegacy, "paddq", kPq_Qq},
    {0xD4, kPrefix66, kBoth, "paddq", kVx_Hx_Wx},
    {0xD5, kNoPrefix, kLegacy, "pmullw", kPq_Qq},
    {0xD5, kPrefix66, kBoth, "pmullw", kVx_Hx_Wx},
    {0xD6, kPrefix66, kBoth, "movq", kMq_Vq},
    {0xD6, kPrefixF3, kLegacy, "movq2dq", kVx_Nq},
    {0xD6, kPrefixF2, kLegacy, "movdq2q", kPq_Ux},
    {0xD7, kNoPrefix, kLegacy, "pmovmskb", kGd_Nq},
    {0xD7, kPrefix66, kBoth, "pmovmskb", kGd_Ux},
    {0xD8, kNoPrefix, kLegacy, "psubusb", kPq_Qq},
    {0xD8, kPrefix66, kBoth, "psubusb", kVx_Hx_Wx},
    {0xD9, kNoPrefix, kLegacy, "psubusw", kPq_Qq},
    {0xD9, kPrefix66, kBoth, "psubusw", kVx_Hx_Wx},
    {0xDA, kNoPrefix, kLegacy, "pminub", kPq_Qq},
    {0xDA, kPrefix66, kBoth, "pminub", kVx_Hx_Wx},
    {0xDB, kNoPrefix, kLegacy, "pand", kPq_Qq},
    {0xDB, kPrefix66, kBoth, "pand", kVx_Hx_Wx},
    {0xDC, kNoPrefix, kLegacy, "paddusb", kPq_Qq},
    {0xDC, kPrefix66, kBoth, "paddusb", kVx_Hx_Wx},
    {0xDD, kNoPrefix, kLegacy, "paddusw", kPq_Qq},
    {0xDD, kPrefix66, kBoth, "paddusw", kVx_Hx_Wx},
    {0xDE, kNoPrefix, kLegacy, "pmaxub", kPq_Qq},
    {0xDE, kPrefix66, kBoth, "pmaxub", kVx_Hx_Wx},
    {0xDF, kNoPrefix, kLegacy, "pandn", kPq_Qq},
    {0xDF, kPrefix66, kBoth, "pandn", kVx_Hx_Wx},
    {0xE0, kNoPrefix, kLegacy, "pavgb", kPq_Qq},
    {0xE0, kPrefix66, kBoth, "pavgb", kVx_Hx_Wx},
    {0xE1, kNoPrefix, kLegacy, "psraw", kPq_Qq},
    {0xE1, kPrefix66, kBoth, "psraw", kVx_Hx_Wx},
    {0xE2, kNoPrefix, kLegacy, "psrad", kPq_Qq},
    {0xE2, kPrefix66, kBoth, "psrad", kVx_Hx_Wx},
    {0xE3, kNoPrefix, kLegacy, "pavgw", kPq_Qq},
    {0xE3, kPrefix66, kBoth, "pavgw", kVx_Hx_Wx},
    {0xE4, kNoPrefix, kLegacy, "pmulhuw", kPq_Qq},
    {0xE4, kPrefix66, kBoth, "pmulhuw", kVx_Hx_Wx},
    {0xE5, kNoPrefix, kLegacy, "pmulhw", kPq_Qq},
    {0xE5, kPrefix66, kBoth, "pmulhw", kVx_Hx_Wx},
    {0xE6, kPrefix66, kBoth, "cvttpd2dq", kVxmm_Wx},
    {0xE6, kPrefixF3, kBoth, "cvtdq2pd", kVx_Whalf},
    {0xE6, kPrefixF2, kBoth, "cvtpd2dq", kVxmm_Wx},
    {0xE7, kNoPrefix, kLegacy, "movntq", kMq_Pq},
    {0xE7, kPrefix66, kBoth, "movntdq", kMx_Vx},
    {0xE8, kNoPrefix, kLegacy, "psubsb", kPq_Qq},
    {0xE8, kPrefix66, kBoth, "psubsb", kVx_Hx_Wx},
    {0xE9, kNoPrefix, kLegacy, "psubsw", kPq_Qq},
    {0xE9, kPrefix66, kBoth, "psubsw", kVx_Hx_Wx},
    {0xEA, kNoPrefix, kLegacy, "pminsw", kPq_Qq},
    {0xEA, kPrefix66, kBoth, "pminsw", kVx_Hx_Wx},
    {0xEB, kNoPrefix, kLegacy, "por", kPq_Qq},
    {0xEB, kPrefix66, kBoth, "por", kVx_Hx_Wx},
    {0xEC, kNoPrefix, kLegacy, "paddsb", kPq_Qq},
    {0xEC, kPrefix66, kBoth, "paddsb", kVx_Hx_Wx},
    {0xED, kNoPrefix, kLegacy, "paddsw", kPq_Qq},
    {0xED, kPrefix66, kBoth, "paddsw", kVx_Hx_Wx},
    {0xEE, kNoPrefix, kLegacy, "pmaxsw", kPq_Qq},
    {0xEE, kPrefix66, kBoth, "pmaxsw", kVx_Hx_Wx},
    {0xEF, kNoPrefix, kLegacy, "pxor", kPq_Qq},
    {0xEF, kPrefix66, kBoth, "pxor", kVx_Hx_Wx},
    {0xF0, kPrefixF2, kBoth, "lddqu", kVx_Mx},
    {0xF1, kNoPrefix, kLegacy, "psllw", kPq_Qq},
    {0xF1, kPrefix66, kBoth, "psllw", kVx_Hx_Wx},
    {0xF2, kNoPrefix, kLegacy, "pslld", kPq_Qq},
    {0xF2, kPrefix66, kBoth, "pslld", kVx_Hx_Wx},
    {0xF3, kNoPrefix, kLegacy, "psllq", kPq_Qq},
    {0xF3, kPrefix66, kBoth, "psllq", kVx_Hx_Wx},
    {0xF4, kNoPrefix, kLegacy, "pmuludq", kPq_Qq},
    {0xF4, kPrefix66, kBoth, "pmuludq", kVx_Hx_Wx},
    {0xF5, kNoPrefix, kLegacy, "pmaddwd", kPq_Qq},
    {0xF5, kPrefix66, kBoth, "pmaddwd", kVx_Hx_Wx},
    {0xF6, kNoPrefix, kLegacy, "psadbw", kPq_Qq},
    {0xF6, kPrefix66, kBoth, "psadbw", kVx_Hx_Wx},
    {0xF7, kNoPrefix, kLegacy, "maskmovq", kPq_Nq},
    {0xF7, kPrefix66, kBoth, "maskmovdqu", kVx_Ux},
    {0xF8, kNoPrefix, kLegacy, "psubb", kPq_Qq},
    {0xF8, kPrefix66, kBoth, "psubb", kVx_Hx_Wx},
    {0xF9, kNoPrefix, kLegacy, "psubw", kPq_Qq},
    {0xF9, kPrefix66, kBoth, "psubw", kVx_Hx_Wx},
    {0xFA, kNoPrefix, kLegacy, "psubd", kPq_Qq},
    {0xFA, kPrefix66, kBoth, "psubd", kVx_Hx_Wx},
    {0xFB, kNoPrefix, kLegacy, "psubq", kPq_Qq},
    {0xFB, kPrefix66, kBoth, "psubq", kVx_Hx_Wx},
    {0xFC, kNoPrefix, kLegacy, "paddb", kPq_Qq},
    {0xFC, kPrefix66, kBoth, "paddb", kVx_Hx_Wx},
    {0xFD, kNoPrefix, kLegacy, "paddw", kPq_Qq},
    {0xFD, kPrefix66, kBoth, "paddw", kVx_Hx_Wx},
    {0xFE, kNoPrefix, kLegacy, "paddd", kPq_Qq},
    {0xFE, kPrefix66, kBoth, "paddd", kVx_Hx_Wx},
    {0xFF, kNoPrefix, kGeneral, "ud0", kGv_Ev},
};

constexpr PrefixedRow kRows0F38[] = {
    {0x00, kNoPrefix, kLegacy, "pshufb", kPq_Qq},
    {0x00, kPrefix66, kBoth, "pshufb", kVx_Hx_Wx},
    {0x01, kNoPrefix, kLegacy, "phaddw", kPq_Qq},
    {0x01, kPrefix66, kBoth, "phaddw", kVx_Hx_Wx},
    {0x02, kNoPrefix, kLegacy, "phaddd", kPq_Qq},
    {0x02, kPrefix66, kBoth, "phaddd", kVx_Hx_Wx},
    {0x03, kNoPrefix, kLegacy, "phaddsw", kPq_Qq},
    {0x03, kPrefix66, kBoth, "phaddsw", kVx_Hx_Wx},
    {0x04, kNoPrefix, kLegacy, "pmaddubsw", kPq_Qq},
    {0x04, kPrefix66, kBoth, "pmaddubsw", kVx_Hx_Wx},
    {0x05, kNoPrefix, kLegacy, "phsubw", kPq_Qq},
    {0x05, kPrefix66, kBoth, "phsubw", kVx_Hx_Wx},
    {0x06, kNoPrefix, kLegacy, "phsubd", kPq_Qq},
    {0x06, kPrefix66, kBoth, "phsubd", kVx_Hx_Wx},
    {0x07, kNoPrefix, kLegacy, "phsubsw", kPq_Qq},
    {0x07, kPrefix66, kBoth, "phsubsw", kVx_Hx_Wx},
    {0x08, kNoPrefix, kLegacy, "psignb", kPq_Qq},
    {0x08, kPrefix66, kBoth, "psignb", kVx_Hx_Wx},
    {0x09, kNoPrefix, kLegacy, "psignw", kPq_Qq},
    {0x09, kPrefix66, kBoth, "psignw", kVx_Hx_Wx},
    {0x0A, kNoPrefix, kLegacy, "psignd", kPq_Qq},
    {0x0A, kPrefix66, kBoth, "psignd", kVx_Hx_Wx},
    {0x0B, kNoPrefix, kLegacy, "pmulhrsw", kPq_Qq},
    {0x0B, kPrefix66, kBoth, "pmulhrsw", kVx_Hx_Wx},
    {0x0C, kPrefix66, kVex, "vpermilps", kVx_Hx_Wx},
    {0x0D, kPrefix66, kVex, "vpermilpd", kVx_Hx_Wx},
    {0x0E, kPrefix66, kVex, "vtestps", kVx_Wx},
    {0x0F, kPrefix66, kVex, "vtestpd", kVx_Wx},
    {0x10, kPrefix66, kLegacy, "pblendvb", kVx_Wx},
    {0x13, kPrefix66, kVex, "vcvtph2ps", kVx_Whalf},
    {0x14, kPrefix66, kLegacy, "blendvps", kVx_Wx},
    {0x15, kPrefix66, kLegacy, "blendvpd", kVx_Wx},
    {0x16, kPrefix66, kVex, "vpermps", kVx_Hx_Wx},
    {0x17, kPrefix66, kBoth, "ptest", kVx_Wx},
    {0x18, kPrefix66, kVex, "vbroadcastss", kBroadcast32},
    {0x19, kPrefix66, kVex, "vbroadcastsd", kBroadcast64},
    {0x1A, kPrefix66, kVex, "vbroadcastf128", kBroadcast128},
    {0x1C, kNoPrefix, kLegacy, "pabsb", kPq_Qq},
    {0x1C, kPrefix66, kBoth, "pabsb", kVx_Wx},
    {0x1D, kNoPrefix, kLegacy, "pabsw", kPq_Qq},
    {0x1D, kPrefix66, kBoth, "pabsw", kVx_Wx},
    {0x1E, kNoPrefix, kLegacy, "pabsd", kPq_Qq},
    {0x1E, kPrefix66, kBoth, "pabsd", kVx_Wx},
    {0x20, kPrefix66, kBoth, "pmovsxbw", kVx_Whalf},
    {0x21, kPrefix66, kBoth, "pmovsxbd", kVx_Wquarter},
    {0x22, kPrefix66, kBoth, "pmovsxbq", kVx_Weighth},
    {0x23, kPrefix66, kBoth, "pmovsxwd", kVx_Whalf},
    {0x24, kPrefix66, kBoth, "pmovsxwq", kVx_Wquarter},
    {0x25, kPrefix66, kBoth, "pmovsxdq", kVx_Whalf},
    {0x28, kPrefix66, kBoth, "pmuldq", kVx_Hx_Wx},
    {0x29, kPrefix66, kBoth, "pcmpeqq", kVx_Hx_Wx},
    {0x2A, kPrefix66, kBoth, "movntdqa", kVx_Mx},
    {0x2B, kPrefix66, kBoth, "packusdw", kVx_Hx_Wx},
    {0x2C, kPrefix66, kVex, "vmaskmovps", kVx_Hx_Wx},
    {0x2D, kPrefix66, kVex, "vmaskmovpd", kVx_Hx_Wx},
    {0x2E, kPrefix66, kVex, "vmaskmovps", kMaskStore},
    {0x2F, kPrefix66, kVex, "vmaskmovpd", kMaskStore},
    {0x30, kPrefix66, kBoth, "pmovzxbw", kVx_Whalf},
    {0x31, kPrefix66, kBoth, "pmovzxbd", kVx_Wquarter},
    {0x32, kPrefix66, kBoth, "pmovzxbq", kVx_Weighth},
    {0x33, kPrefix66, kBoth, "pmovzxwd", kVx_Whalf},
    {0x34, kPrefix66, kBoth, "pmovzxwq", kVx_Wquarter},
    {0x35, kPrefix66, kBoth, "pmovzxdq", kVx_Whalf},
    {0x36, kPrefix66, kVex, "vpermd", kVx_Hx_Wx},
    {0x37, kPrefix66, kBoth, "pcmpgtq", kVx_Hx_Wx},
    {0x38, kPrefix66, kBoth, "pminsb", kVx_Hx_Wx},
    {0x39, kPrefix66, kBoth, "pminsd", kVx_Hx_Wx},
    {0x3A, kPrefix66, kBoth, "pminuw", kVx_Hx_Wx},
    {0x3B, kPrefix66, kBoth, "pminud", kVx_Hx_Wx},
    {0x3C, kPrefix66, kBoth, "pmaxsb", kVx_Hx_Wx},
    {0x3D, kPrefix66, kBoth, "pmaxsd", kVx_Hx_Wx},
    {0x3E, kPrefix66, kBoth, "pmaxuw", kVx_Hx_Wx},
    {0x3F, kPrefix66, kBoth, "pmaxud", kVx_Hx_Wx},
    {0x40, kPrefix66, kBoth, "pmulld", kVx_Hx_Wx},
    {0x41, kPrefix66, kBoth, "phminposuw", kVx_Wx},
    {0x45, kPrefix66, kVex, "vpsrlv", kVx_Hx_Wx_W},
    {0x46, kPrefix66, kVex, "vpsravd", kVx_Hx_Wx},
    {0x47, kPrefix66, kVex, "vpsllv", kVx_Hx_Wx_W},
    {0x58, kPrefix66, kVex, "vpbroadcastd", kBroadcast32},
    {0x59, kPrefix66, kVex, "vpbroadcastq", kBroadcast64},
    {0x5A, kPrefix66, kVex, "vbroadcasti128", kBroadcast128},
    {0x78, kPrefix66, kVex, "vpbroadcastb", kBroadcast8},
    {0x79, kPrefix66, kVex, "vpbroadcastw", kBroadcast16},
    {0x8C, kPrefix66, kVex, "vpmaskmov", kVx_Hx_Wx_W},
    {0x8E, kPrefix66, kVex, "vpmaskmov", kMaskStoreW},
    {0x90, kPrefix66, kVex, "vpgatherd", kGatherW},
    {0x91, kPrefix66, kVex, "vpgatherq", kGatherW},
    {0x92, kPrefix66, kVex, "vgatherdp", kGatherPs},
    {0x93, kPrefix66, kVex, "vgatherqp", kGatherPs},
    {0x96, kPrefix66, kVex, "vfmaddsub132p", kFmaPacked},
    {0x97, kPrefix66, kVex, "vfmsubadd132p", kFmaPacked},
    {0x98, kPrefix66, kVex, "vfmadd132p", kFmaPacked},
    {0x99, kPrefix66, kVex, "vfmadd132s", kFmaScalar},
    {0x9A, kPrefix66, kVex, "vfmsub132p", kFmaPacked},
    {0x9B, kPrefix66, kVex, "vfmsub132s", kFmaScalar},
    {0x9C, kPrefix66, kVex, "vfnmadd132p", kFmaPacked},
    {0x9D, kPrefix66, kVex, "vfnmadd132s", kFmaScalar},
    {0x9E, kPrefix66, kVex, "vfnmsub132p", kFmaPacked},
    {0x9F, kPrefix66, kVex, "vfnmsub132s", kFmaScalar},
    {0xA6, kPrefix66, kVex, "vfmaddsub213p", kFmaPacked},
    {0xA7, kPrefix66, kVex, "vfmsubadd213p", kFmaPacked},
    {0xA8, kPrefix66, kVex, "vfmadd213p", kFmaPacked},
    {0xA9, kPrefix66, kVex, "vfmadd213s", kFmaScalar},
    {0xAA, kPrefix66, kVex, "vfmsub213p", kFmaPacked},
    {0xAB, kPrefix66, kVex, "vfmsub213s", kFmaScalar},
    {0xAC, kPrefix66, kVex, "vfnmadd213p", kFmaPacked},
    {0xAD, kPrefix66, kVex, "vfnmadd213s", kFmaScalar},
    {0xAE, kPrefix66, kVex, "vfnmsub213p", kFmaPacked},
    {0xAF, kPrefix66, kVex, "vfnmsub213s", kFmaScalar},
    {0xB6, kPrefix66, kVex, "vfmaddsub231p", kFmaPacked},
    {0xB7, kPrefix66, kVex, "vfmsubadd231p", kFmaPacked},
    {0xB8, kPrefix66, kVex, "vfmadd231p", kFmaPacked},
    {0xB9, kPrefix66, kVex, "vfmadd231s", kFmaScalar},
    {0xBA, kPrefix66, kVex, "vfmsub231p", kFmaPacked},
    {0xBB, kPrefix66, kVex, "vfmsub231s", kFmaScalar},
    {0xBC, kPrefix66, kVex, "vfnmadd231p", kFmaPacked},
    {0xBD, kPrefix66, kVex, "vfnmadd231s", kFmaScalar},
    {0xBE, kPrefix66, kVex, "vfnmsub231p", kFmaPacked},
    {0xBF, kPrefix66, kVex, "vfnmsub231s", kFmaScalar},
    {0xC8, kNoPrefix, kLegacy, "sha1nexte", kVx_Wx},
    {0xC9, kNoPrefix, kLegacy, "sha1msg1", kVx_Wx},
    {0xCA, kNoPrefix, kLegacy, "sha1msg2", kVx_Wx},
    {0xCB, kNoPrefix, kLegacy, "sha256rnds2", kVx_Wx},
    {0xCC, kNoPrefix, kLegacy, "sha256msg1", kVx_Wx},
    {0xCD, kNoPrefix, kLegacy, "sha256msg2", kVx_Wx},
    {0xDB, kPrefix66, kBoth, "aesimc", kVx_Wx},
    {0xDC, kPrefix66, kBoth, "aesenc", kVx_Hx_Wx},
    {0xDD, kPrefix66, kBoth, "aesenclast", kVx_Hx_Wx},
    {0xDE, kPrefix66, kBoth, "aesdec", kVx_Hx_Wx},
    {0xDF, kPrefix66, kBoth, "aesdeclast", kVx_Hx_Wx},
    {0xF0, kNoPrefix, kGeneralNoRepeat, "movbe", kGv_Mv},
    {0xF0, kPrefixF2, kLegacy, "crc32", kGd_Eb},
    {0xF1, kNoPrefix, kGeneralNoRepeat, "movbe", kMv_Gv},
    {0xF1, kPrefixF2, kLegacy, "crc32", kGd_Ev},
    {0xF2, kNoPrefix, kVex, "andn", kGd_By_Ed},
    {0xF3, kNoPrefix, kVex, "", kGroupBmi},
    {0xF5, kNoPrefix, kVex, "bzhi", kGd_Ed_By},
    {0xF5, kPrefixF3, kVex, "pext", kGd_By_Ed},
    {0xF5, kPrefixF2, kVex, "pdep", kGd_By_Ed},
    {0xF6, kPrefix66, kLegacy, "adcx", kGv_Ev},
    {0xF6, kPrefixF3, kLegacy, "adox", kGv_Ev},
    {0xF6, kPrefixF2, kVex, "mulx", kGd_By_Ed},
    {0xF7, kNoPrefix, kVex, "bextr", kGd_Ed_By},
    {0xF7, kPrefix66, kVex, "shlx", kGd_Ed_By},
    {0xF7, kPrefixF3, kVex, "sarx", kGd_Ed_By},
    {0xF7, kPrefixF2, kVex, "shrx", kGd_Ed_By},
};

constexpr PrefixedRow kRows0F3A[] = {
    {0x00, kPrefix66, kVex, "vpermq", kVx_Wx_Ib_W},
    {0x01, kPrefix66, kVex, "vpermpd", kVx_Wx_Ib_W},
    {0x02, kPrefix66, kVex, "vpblendd", kVx_Hx_Wx_Ib},
    {0x04, kPrefix66, kVex, "vpermilps", kVx_Wx_Ib},
    {0x05, kPrefix66, kVex, "vpermilpd", kVx_Wx_Ib},
    {0x06, kPrefix66, kVex, "vperm2f128", kVx_Hx_Wx_Ib},
    {0x08, kPrefix66, kBoth, "roundps", kVx_Wx_Ib},
    {0x09, kPrefix66, kBoth, "roundpd", kVx_Wx_Ib},
    {0x0A, kPrefix66, kBoth, "roundss", kVss_Hss_Wss_Ib},
    {0x0B, kPrefix66, kBoth, "roundsd", kVsd_Hsd_Wsd_Ib},
    {0x0C, kPrefix66, kBoth, "blendps", kVx_Hx_Wx_Ib},
    {0x0D, kPrefix66, kBoth, "blendpd", kVx_Hx_Wx_Ib},
    {0x0E, kPrefix66, kBoth, "pblendw", kVx_Hx_Wx_Ib},
    {0x0F, kNoPrefix, kLegacy, "palignr", kPq_Qq_Ib},
    {0x0F, kPrefix66, kBoth, "palignr", kVx_Hx_Wx_Ib},
    {0x14, kPrefix66, kBoth, "pextrb", kEb_Vx_Ib},
    {0x15, kPrefix66, kBoth, "pextrw", kEw_Vx_Ib},
    {0x16, kPrefix66, kBoth, "pextrd", kEd_Vx_Ib},
    {0x17, kPrefix66, kBoth, "extractps", kEd_Vx_Ib},
    {0x18, kPrefix66, kVex, "vinsertf128", kVx_Hx_W128_Ib},
    {0x19, kPrefix66, kVex, "vextractf128", kW128_Vx_Ib},
    {0x1D, kPrefix66, kVex, "vcvtps2ph", kWhalf_Vx_Ib},
    {0x20, kPrefix66, kBoth, "pinsrb", kVx_Hx_Eb_Ib},
    {0x21, kPrefix66, kBoth, "insertps", kVss_Hss_Wss_Ib},
    {0x22, kPrefix66, kBoth, "pinsrd", kVx_Hx_Ed_Ib},
    {0x38, kPrefix66, kVex, "vinserti128", kVx_Hx_W128_Ib},
    {0x39, kPrefix66, kVex, "vextracti128", kW128_Vx_Ib},
    {0x40, kPrefix66, kBoth, "dpps", kVx_Hx_Wx_Ib},
    {0x41, kPrefix66, kBoth, "dppd", kVx_Hx_Wx_Ib},
    {0x42, kPrefix66, kBoth, "mpsadbw", kVx_Hx_Wx_Ib},
    {0x44, kPrefix66, kBoth, "pclmulqdq", kVx_Hx_Wx_Ib},
    {0x46, kPrefix66, kVex, "vperm2i128", kVx_Hx_Wx_Ib},
    {0x4A, kPrefix66, kVex, "vblendvps", kVx_Hx_Wx_Lx},
    {0x4B, kPrefix66, kVex, "vblendvpd", kVx_Hx_Wx_Lx},
    {0x4C, kPrefix66, kVex, "vpblendvb", kVx_Hx_Wx_Lx},
    {0x60, kPrefix66, kBoth, "pcmpestrm", kVx_Wx_Ib},
    {0x61, kPrefix66, kBoth, "pcmpestri", kVx_Wx_Ib},
    {0x62, kPrefix66, kBoth, "pcmpistrm", kVx_Wx_Ib},
    {0x63, kPrefix66, kBoth, "pcmpistri", kVx_Wx_Ib},
    {0xCC, kNoPrefix, kLegacy, "sha1rnds4", kVx_Wx_Ib},
    {0xDF, kPrefix66, kBoth, "aeskeygenassist", kVx_Wx_Ib},
    {0xF0, kPrefixF2, kVex, "rorx", kGd_Ed_Ib},
};

// Sorted by opcode, then prefix; a row's (opcode, prefix, encodings) is never repeated in a
// way that would hide a row.
template <size_t N>
constexpr bool Sorted(const PrefixedRow (&rows)[N]) {
  for (size_t i = 1; i < N; ++i) {
    if (rows[i].opcode < rows[i - 1].opcode) return false;
    if (rows[i].opcode == rows[i - 1].opcode && rows[i].prefix < rows[i - 1].prefix) return false;
    if (rows[i].opcode == rows[i - 1].opcode && rows[i].prefix == rows[i - 1].prefix &&
        (rows[i].encodings & rows[i - 1].encodings) != 0)
      return false;
  }
  return true;
}

// The first row of every opcode, and the end of the last, for a look-up in constant time.
template <size_t N>
constexpr std::array<uint16_t, 257> FirstRows(const PrefixedRow (&rows)[N]) {
  std::array<uint16_t, 257> first{};
  size_t row = 0;
  for (uint32_t opcode = 0; opcode < 256; ++opcode) {
    first[opcode] = static_cast<uint16_t>(row);
    while (row < N && rows[row].opcode == opcode) ++row;
  }
  first[256] = static_cast<uint16_t>(N);
  return first;
}

static_assert(std::size(kRows0F) == kMap0FRowCount, "one row per opcode and prefix of the 0F map");
static_assert(std::size(kRows0F38) == kMap0F38RowCount, "one row per opcode and prefix of the 0F 38 map");
static_assert(std::size(kRows0F3A) == kMap0F3ARowCount, "one row per opcode and prefix of the 0F 3A map");
static_assert(Sorted(kRows0F) && Sorted(kRows0F38) && Sorted(kRows0F3A), "rows sorted by opcode and prefix");

constexpr std::array<uint16_t, 257> kFirst0F = FirstRows(kRows0F);
constexpr std::array<uint16_t, 257> kFirst0F38 = FirstRows(kRows0F38);
constexpr std::array<uint16_t, 257> kFirst0F3A = FirstRows(kRows0F3A);

}  // namespace

const uint8_t kUnknownNoOperands[] = {0xd8};   // Nothing .
const uint8_t kUnknownModRM[] = {0x58, 0xd8};  // Nothing +M; Nothing .
const uint8_t kUnknownModRMImm8[] = {0x58, 0xf9};  // Nothing +M; SkipImm8 .

const PrefixedRow* PrefixedRows(uint32_t map, uint8_t opcode, uint32_t* count) {
  const PrefixedRow* rows = nullptr;
  const std::array<uint16_t, 257>* first = nullptr;
  switch (map) {
    case kMap0F:
      rows = kRows0F;
      first = &kFirst0F;
      break;
    case kMap0F38:
      rows = kRows0F38;
      first = &kFirst0F38;
      break;
    case kMap0F3A:
      rows = kRows0F3A;
      first = &kFirst0F3A;
      break;
    default:
      *count = 0;
      return nullptr;
  }
  *count = (*first)[opcode + 1u] - (*first)[opcode];
  return rows + (*first)[opcode];
}

}  // namespace disasm
