// The instructions after the 80486, group by group: P6 and later general-purpose additions,
// x87 additions, MMX, SSE to SSE4.2, AES/PCLMULQDQ/SHA, VEX (AVX, AVX2, FMA, F16C, BMI1/2)
// and EVEX lengths; the mandatory-prefix rules; and that the 80486 readings stay as they were.
#include <gtest/gtest.h>

#include "disasm/prefixed_maps.h"
#include "disasm/tables.h"
#include "disasm_support.h"

namespace {

using Case = DecodeCase;

class ModernRows : public ::testing::TestWithParam<Case> {};
TEST_P(ModernRows, DecodeToTheirLengthAndText) { ExpectDecodes(GetParam()); }

const Case kGeneral[] = {
    // The critical-section wait of a deadlock: lock cmpxchg [edi],ebx, then pop ds no more.
    {"f00fb11f", 4, "lock", "cmpxchg", "[edi],ebx"},
    {"f00fb00a", 4, "lock", "cmpxchg", "[edx],cl"},
    {"0f44c1", 3, "", "cmove", "eax,ecx"},
    {"0f4f4508", 4, "", "cmovg", "eax,[ebp+0x8]"},
    {"660f42c1", 4, "", "cmovb", "ax,cx"},
    {"0f1f440000", 5, "", "nop", "dword ptr [eax+eax]"},
    {"660f1f840000000000", 9, "", "nop", "word ptr [eax+eax]"},
    {"0f1f00", 3, "", "nop", "dword ptr [eax]"},
    {"0f0b", 2, "", "ud2", ""},
    {"f30f1efb", 4, "", "endbr32", ""},
    {"f30f1efa", 4, "", "endbr64", ""},
    {"f390", 2, "", "pause", ""},
    {"f30fb8c1", 4, "", "popcnt", "eax,ecx"},
    {"66f30fb8c1", 5, "", "popcnt", "ax,cx"},
    {"f30fbcc1", 4, "", "tzcnt", "eax,ecx"},
    {"f30fbdc1", 4, "", "lzcnt", "eax,ecx"},
    {"0f38f006", 4, "", "movbe", "eax,[esi]"},
    {"0f38f106", 4, "", "movbe", "[esi],eax"},
    {"f20f38f0c1", 5, "", "crc32", "eax,cl"},
    {"f20f38f1c1", 5, "", "crc32", "eax,ecx"},
    {"66f20f38f1c1", 6, "", "crc32", "eax,cx"},
    {"0f01f9", 3, "", "rdtscp", ""},
    {"0f01f8", 3, "", "???", ""},
    // 0F 01 with a register operand: the ModR/M byte names the instruction.
    {"0f01d0", 3, "", "xgetbv", ""},
    {"0f01d1", 3, "", "xsetbv", ""},
    {"0f01d5", 3, "", "xend", ""},
    {"0f01d6", 3, "", "xtest", ""},
    {"0f01c8", 3, "", "monitor", ""},
    {"0f01c9", 3, "", "mwait", ""},
    {"0f01ca", 3, "", "clac", ""},
    {"0f01e8", 3, "", "serialize", ""},
    {"0f01ee", 3, "", "rdpkru", ""},
    {"0f01ef", 3, "", "wrpkru", ""},
    {"0f01fc", 3, "", "clzero", ""},
    {"0f01c0", 3, "", "???", ""},
    {"0f01e9", 3, "", "???", ""},
    {"0f01f0", 3, "", "lmsw", "al"},
    {"0f0138", 3, "", "invlpg", "byte ptr [eax]"},
    {"0f0110", 3, "", "lgdt", "[eax]"},
    // 0F C7 by reg and mod.
    {"0fc7f0", 3, "", "rdrand", "eax"},
    {"0fc7f8", 3, "", "rdseed", "eax"},
    {"660fc7f1", 4, "", "rdrand", "cx"},
    {"0fc70e", 3, "", "cmpxchg8b", "qword ptr [esi]"},
    {"f00fc70f", 4, "lock", "cmpxchg8b", "qword ptr [edi]"},
    {"0fc7c8", 3, "", "???", ""},
    {"0fc700", 3, "", "???", ""},
    {"0fc720", 3, "", "xsavec", "[eax]"},
    {"0f18 08", 3, "", "prefetcht0", "byte ptr [eax]"},
    {"0f0d08", 3, "", "prefetchw", "byte ptr [eax]"},
    {"0fae06", 3, "", "fxsave", "[esi]"},
    {"0fae5df8", 4, "", "stmxcsr", "dword ptr [ebp-0x8]"},
    {"0faef0", 3, "", "mfence", ""},
    {"0faef8", 3, "", "sfence", ""},
    {"0fae38", 3, "", "clflush", "byte ptr [eax]"},
    {"0fc3 08", 3, "", "movnti", "dword ptr [eax],ecx"},
    {"0fb9c0", 3, "", "ud1", "eax,eax"},
    {"0f34", 2, "", "sysenter", ""},
    {"82c805", 3, "", "or", "al,0x5"},
};
INSTANTIATE_TEST_SUITE_P(General, ModernRows, ::testing::ValuesIn(kGeneral));

const Case kX87[] = {
    {"dac1", 2, "", "fcmovb", "st,st(1)"},
    {"dad9", 2, "", "fcmovu", "st,st(1)"},
    {"dbc9", 2, "", "fcmovne", "st,st(1)"},
    {"dbe9", 2, "", "fucomi", "st,st(1)"},
    {"dbf1", 2, "", "fcomi", "st,st(1)"},
    {"dfe9", 2, "", "fucomip", "st,st(1)"},
    {"dff1", 2, "", "fcomip", "st,st(1)"},
    {"db4df0", 3, "", "fisttp", "dword ptr [ebp-0x10]"},
    {"dd0c24", 3, "", "fisttp", "qword ptr [esp]"},
    {"df08", 2, "", "fisttp", "word ptr [eax]"},
    // The documented readings stay: DB E0..E4, DF E0, DA E9.
    {"dbe3", 2, "", "finit", ""},
    {"dfe0", 2, "", "fstsw", ""},
    {"dae9", 2, "", "fucompp", ""},
    {"dbe7", 2, "", "???", ""},
};
INSTANTIATE_TEST_SUITE_P(X87, ModernRows, ::testing::ValuesIn(kX87));

const Case kMmx[] = {
    {"0ffcc1", 3, "", "paddb", "mm0,mm1"},
    {"0fd5c1", 3, "", "pmullw", "mm0,mm1"},
    {"0f6f00", 3, "", "movq", "mm0,qword ptr [eax]"},
    {"0f6ec8", 3, "", "movd", "mm1,eax"},
    {"0f7ec8", 3, "", "movd", "eax,mm1"},
    {"0f7206", 3, "", "???", ""},
    {"0f72d003", 4, "", "psrld", "mm0,0x3"},
    {"0f73f005", 4, "", "psllq", "mm0,0x5"},
    {"0f77", 2, "", "emms", ""},
    {"0f3800c1", 4, "", "pshufb", "mm0,mm1"},
    {"0f3a0fc103", 5, "", "palignr", "mm0,mm1,0x3"},
};
INSTANTIATE_TEST_SUITE_P(Mmx, ModernRows, ::testing::ValuesIn(kMmx));

const Case kSse[] = {
    {"0f28c1", 3, "", "movaps", "xmm0,xmm1"},
    {"0f1000", 3, "", "movups", "xmm0,xmmword ptr [eax]"},
    {"0f2900", 3, "", "movaps", "xmmword ptr [eax],xmm0"},
    {"f30f1045fc", 5, "", "movss", "xmm0,dword ptr [ebp-0x4]"},
    {"f20f1145f8", 5, "", "movsd", "qword ptr [ebp-0x8],xmm0"},
    {"f20f59c1", 4, "", "mulsd", "xmm0,xmm1"},
    {"0f58c1", 3, "", "addps", "xmm0,xmm1"},
    {"660f58c1", 4, "", "addpd", "xmm0,xmm1"},
    {"f30f58c1", 4, "", "addss", "xmm0,xmm1"},
    {"f20f51c1", 4, "", "sqrtsd", "xmm0,xmm1"},
    {"0f12c1", 3, "", "movhlps", "xmm0,xmm1"},
    {"0f1200", 3, "", "movlps", "xmm0,qword ptr [eax]"},
    {"0f16c1", 3, "", "movlhps", "xmm0,xmm1"},
    {"660f6f00", 4, "", "movdqa", "xmm0,xmmword ptr [eax]"},
    {"f30f6f00", 4, "", "movdqu", "xmm0,xmmword ptr [eax]"},
    {"660f7f07", 4, "", "movdqa", "xmmword ptr [edi],xmm0"},
    {"660fefc0", 4, "", "pxor", "xmm0,xmm0"},
    {"660f6ec0", 4, "", "movd", "xmm0,eax"},
    {"660f7ec0", 4, "", "movd", "eax,xmm0"},
    {"f30f7e00", 4, "", "movq", "xmm0,qword ptr [eax]"},
    {"660fd600", 4, "", "movq", "qword ptr [eax],xmm0"},
    {"660f704e081b", 6, "", "pshufd", "xmm1,xmmword ptr [esi+0x8],0x1b"},
    {"660f73d807", 5, "", "psrldq", "xmm0,0x7"},
    {"660f72e003", 5, "", "psrad", "xmm0,0x3"},
    {"f30f2dc1", 4, "", "cvtss2si", "eax,xmm1"},
    {"f20f2a4508", 5, "", "cvtsi2sd", "xmm0,dword ptr [ebp+0x8]"},
    {"660fd7c1", 4, "", "pmovmskb", "eax,xmm1"},
    {"660fc5c103", 5, "", "pextrw", "eax,xmm1,0x3"},
    {"660fc4c005", 5, "", "pinsrw", "xmm0,eax,0x5"},
    {"f20f7cc1", 4, "", "haddps", "xmm0,xmm1"},
    {"660f3817c1", 5, "", "ptest", "xmm0,xmm1"},
    {"660f3830c1", 5, "", "pmovzxbw", "xmm0,xmm1"},
    {"660f383000", 5, "", "pmovzxbw", "xmm0,qword ptr [eax]"},
    {"660f3a16c002", 6, "", "pextrd", "eax,xmm0,0x2"},
    {"660f3a22c001", 6, "", "pinsrd", "xmm0,eax,0x1"},
    {"660f3a63c10c", 6, "", "pcmpistri", "xmm0,xmm1,0xc"},
    {"660f3a0bc104", 6, "", "roundsd", "xmm0,xmm1,0x4"},
    // A 66, F2 or F3 that selects no row of an instruction after the 80486 leaves it
    // undefined, three bytes long as the 0F map's undefined opcodes are.
    {"f30f28c1", 3, "", "???", ""},
    {"660f77", 3, "", "???", ""},
    {"660f53c1", 3, "", "???", ""},
    {"f20f60c1", 3, "", "???", ""},
    {"66f20f6f00", 4, "", "???", ""},
    {"f0f30f28c1", 4, "lock", "???", ""},
    {"f30f3800c1", 5, "", "???", ""},
    {"f20f3a0fc101", 6, "", "???", ""},
    {"f30f38f006", 5, "", "???", ""},
    // The general-purpose rows keep 66 as the operand size and F2/F3 as printed prefixes.
    {"f30f44c1", 4, "rep ", "cmove", "eax,ecx"},
    {"660f38f006", 5, "", "movbe", "ax,[esi]"},
    {"66f30f1000", 5, "", "movss", "xmm0,dword ptr [eax]"},
    {"660f3400", 3, "", "sysenter", ""},
    {"f30f09", 3, "", "wbnoinvd", ""},
    {"660f38f6c1", 5, "", "adcx", "eax,ecx"},
    {"f30f38f6c1", 5, "", "adox", "eax,ecx"},
    // 66 with a row of its own is no operand-size prefix; without one it still is.
    {"660f1f00", 4, "", "nop", "word ptr [eax]"},
    // Forms the processor defines for memory or for a register only: the other is "???",
    // with the ModR/M operand consumed and no value shown.
    {"0f5000", 3, "", "???", ""},
    {"0f13c1", 3, "", "???", ""},
    {"0fb2c1", 3, "", "???", ""},
    {"0f7300", 3, "", "???", ""},
    {"0f0dc8", 3, "", "???", ""},
    {"0f38f0c1", 4, "", "???", ""},
    {"c5f85000", 4, "", "???", ""},
    {"c5f850c1", 4, "", "vmovmskps", "eax,xmm1"},
    {"660fe700", 4, "", "movntdq", "xmmword ptr [eax],xmm0"},
    // Undefined in the three-byte maps: the ModR/M (and immediate) consumed.
    {"0f38ffc0", 4, "", "???", ""},
    {"0f3affc001", 5, "", "???", ""},
    {"0f0f", 2, "", "???", ""},
};
INSTANTIATE_TEST_SUITE_P(Sse, ModernRows, ::testing::ValuesIn(kSse));

const Case kCrypto[] = {
    {"660f38dcc1", 5, "", "aesenc", "xmm0,xmm1"},
    {"660f38dbc1", 5, "", "aesimc", "xmm0,xmm1"},
    {"660f3adfc101", 6, "", "aeskeygenassist", "xmm0,xmm1,0x1"},
    {"660f3a44c111", 6, "", "pclmulqdq", "xmm0,xmm1,0x11"},
    {"0f38c8c1", 4, "", "sha1nexte", "xmm0,xmm1"},
    {"0f38cbc1", 4, "", "sha256rnds2", "xmm0,xmm1"},
    {"0f3accc102", 5, "", "sha1rnds4", "xmm0,xmm1,0x2"},
};
INSTANTIATE_TEST_SUITE_P(Crypto, ModernRows, ::testing::ValuesIn(kCrypto));

const Case kVex[] = {
    {"c5f877", 3, "", "vzeroupper", ""},
    {"c5fc77", 3, "", "vzeroall", ""},
    {"c5f458c2", 4, "", "vaddps", "ymm0,ymm1,ymm2"},
    {"c5f058c2", 4, "", "vaddps", "xmm0,xmm1,xmm2"},
    {"c5fe6f00", 4, "", "vmovdqu", "ymm0,ymmword ptr [eax]"},
    {"c5fa1000", 4, "", "vmovss", "xmm0,dword ptr [eax]"},
    {"c5f210c2", 4, "", "vmovss", "xmm0,xmm1,xmm2"},
    {"c5f9efc0", 4, "", "vpxor", "xmm0,xmm0,xmm0"},
    {"c5f96ec0", 4, "", "vmovd", "xmm0,eax"},
    {"c5fdd7c1", 4, "", "vpmovmskb", "eax,ymm1"},
    {"c5f572d003", 5, "", "vpsrld", "ymm1,ymm0,0x3"},
    {"c4e27d58c1", 5, "", "vpbroadcastd", "ymm0,xmm1"},
    {"c4e27d7800", 5, "", "vpbroadcastb", "ymm0,byte ptr [eax]"},
    {"c4e37d39c101", 6, "", "vextracti128", "xmm1,ymm0,0x1"},
    {"c4e37538c201", 6, "", "vinserti128", "ymm0,ymm1,xmm2,0x1"},
    {"c4e3fd00c14e", 6, "", "vpermq", "ymm0,ymm1,0x4e"},
    {"c4e3754ac230", 6, "", "vblendvps", "ymm0,ymm1,ymm2,ymm3"},
    {"c4e27598c2", 5, "", "vfmadd132ps", "ymm0,ymm1,ymm2"},
    {"c4e2f598c2", 5, "", "vfmadd132pd", "ymm0,ymm1,ymm2"},
    {"c4e271b9c2", 5, "", "vfmadd231ss", "xmm0,xmm1,xmm2"},
    {"c4e2f1b9c2", 5, "", "vfmadd231sd", "xmm0,xmm1,xmm2"},
    {"c4e27547c2", 5, "", "vpsllvd", "ymm0,ymm1,ymm2"},
    {"c4e2f547c2", 5, "", "vpsllvq", "ymm0,ymm1,ymm2"},
    {"c4e2759004a8", 6, "", "vpgatherdd", "ymm0,[eax+ymm5*4],ymm1"},
    {"c4e27913c1", 5, "", "vcvtph2ps", "xmm0,xmm1"},
    {"c4e37d1dc100", 6, "", "vcvtps2ph", "xmm1,ymm0,0x0"},
    {"c4e3710fc205", 6, "", "vpalignr", "xmm0,xmm1,xmm2,0x5"},
    {"c4e3f6f0c107", 6, "", "???", ""},
    {"c4e37bf0c107", 6, "", "rorx", "eax,ecx,0x7"},
    {"c4e270f2c2", 5, "", "andn", "eax,ecx,edx"},
    {"c4e278f3c9", 5, "", "blsr", "eax,ecx"},
    {"c4e278f3d9", 5, "", "blsi", "eax,ecx"},
    {"c4e268f5c1", 5, "", "bzhi", "eax,ecx,edx"},
    {"c4e273f6c2", 5, "", "mulx", "eax,ecx,edx"},
    {"c4e271f7c2", 5, "", "shlx", "eax,edx,ecx"},
    {"c4e272f7c2", 5, "", "sarx", "eax,edx,ecx"},
    {"c4e273f5c2", 5, "", "pdep", "eax,ecx,edx"},
    {"c4e272f5c2", 5, "", "pext", "eax,ecx,edx"},
    {"c5f8ae5df8", 5, "", "vstmxcsr", "dword ptr [ebp-0x8]"},
    {"c4e37d19c101", 6, "", "vextractf128", "xmm1,ymm0,0x1"},
    {"c5fcc2c111", 5, "", "vcmpps", "ymm0,ymm0,ymm1,0x11"},
    // Maps beyond 0F 3A are undefined: the ModR/M operand is consumed.
    {"c4e478c0c0", 5, "", "???", ""},
};
INSTANTIATE_TEST_SUITE_P(Vex, ModernRows, ::testing::ValuesIn(kVex));

// C4/C5/62 with a memory form are les/lds/bound as they always were.
const Case kLegacyForms[] = {
    {"c44508", 3, "", "les", "eax,[ebp+0x8]"},
    {"c506", 2, "", "lds", "eax,[esi]"},
    {"6206", 2, "", "bound", "eax,[esi]"},
    {"0fa6c8", 3, "", "cmpxchg", "al,cl"},
    {"0fa7c8", 3, "", "cmpxchg", "eax,ecx"},
    {"0f01e0", 3, "", "smsw", "al"},
    {"2e0fb11f", 4, "", "cmpxchg", "cs:[edi],ebx"},
    {"0fbcc1", 3, "", "bsf", "eax,ecx"},
    {"f20fbcc1", 4, "repne ", "bsf", "eax,ecx"},
};
INSTANTIATE_TEST_SUITE_P(LegacyForms, ModernRows, ::testing::ValuesIn(kLegacyForms));

// EVEX (AVX-512): at its true length, whatever the name.
struct LengthCase {
  const char* hex;
  uint32_t length;
};
const LengthCase kEvex[] = {
    {"62f17c4858c1", 6},              // vaddps zmm0,zmm0,zmm1
    {"62f17c485840 01", 7},           // vaddps zmm0,zmm0,[eax+0x40]
    {"62f1fd48 6f 84 24 00 01 00 00", 11},  // vmovdqa64 zmm0,[esp+0x100]
    {"62f37d48 19 c1 01", 7},         // vextractf32x4 xmm1,zmm0,1 (map 3: imm8)
    {"62f17d48 72 e0 03", 7},         // vpsrad zmm0,zmm0,3 (map 1 with imm8)
    {"62f27d48 18 00", 6},            // vbroadcastss zmm0,[eax]
};
class EvexLengths : public ::testing::TestWithParam<LengthCase> {};
TEST_P(EvexLengths, AreTrue) {
  const std::vector<uint8_t> bytes = Hex(GetParam().hex);
  const Decoded d = DecodeBytes(bytes);
  ASSERT_TRUE(d.ok) << GetParam().hex;
  EXPECT_EQ(d.length, GetParam().length) << GetParam().hex;
  uint32_t length = 0;
  ASSERT_TRUE(DecodeLength(bytes.data(), static_cast<uint32_t>(bytes.size()), &length));
  EXPECT_EQ(length, GetParam().length);
}
INSTANTIATE_TEST_SUITE_P(Evex, EvexLengths, ::testing::ValuesIn(kEvex));

// A prefix cut off by the end of what could be read is a failure, not a guess.
TEST(DisasmModern, CutVexAndEscapesAreUnreadable) {
  for (const char* hex : {"c5", "c5f8", "c4e2", "c4e27d", "0f38", "0f3a0f", "0f3a0fc1", "62f17c48", "f30f"}) {
    const Decoded d = DecodeBytes(Hex(hex));
    EXPECT_FALSE(d.ok) << hex;
  }
}

// The prefixed maps: every row's script ends within its bytes, and a look-up finds only rows
// of the opcode asked for.
TEST(DisasmModern, PrefixedMapsAreWellFormed) {
  for (uint32_t map = disasm::kMap0F; map <= disasm::kMap0F3A; ++map) {
    uint32_t total = 0;
    for (uint32_t opcode = 0; opcode < 256; ++opcode) {
      uint32_t count = 0;
      const disasm::PrefixedRow* rows = disasm::PrefixedRows(map, static_cast<uint8_t>(opcode), &count);
      total += count;
      for (uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(rows[i].opcode, opcode);
        const uint8_t* script = rows[i].script;
        bool ends = false;
        for (int k = 0; k < 16 && !ends; ++k) {
          const disasm::Operation op = disasm::OperationOf(script[k]);
          ends = disasm::ClassOf(script[k]) == disasm::kClassComplete || op == disasm::Operation::ExtensionRow ||
                 op == disasm::Operation::ExtensionRowByMod;
          if (disasm::HasArgument(op)) ++k;
        }
        EXPECT_TRUE(ends) << map << " " << opcode << " " << rows[i].mnemonic;
      }
    }
    const uint32_t expected = map == disasm::kMap0F     ? disasm::kMap0FRowCount
                              : map == disasm::kMap0F38 ? disasm::kMap0F38RowCount
                                                        : disasm::kMap0F3ARowCount;
    EXPECT_EQ(total, expected) << map;
  }
  uint32_t count = 7;
  EXPECT_EQ(disasm::PrefixedRows(4, 0x00, &count), nullptr);
  EXPECT_EQ(count, 0u);
}

// Every 0F opcode the 80486 map decodes keeps its reading whatever mandatory prefix stands
// before it (except the F3 forms pause, tzcnt and lzcnt): the same mnemonic and length.
TEST(DisasmModern, EightyFourEightySixRowsKeepTheirReading) {
  for (uint32_t second = 0; second < 256; ++second) {
    if (second == 0x38 || second == 0x3A) continue;
    if (disasm::kPrimaryTable[disasm::TwoByteIndex(static_cast<uint8_t>(second))].mnemonic[0] == '?') continue;
    for (const char* prefix : {"", "66", "f2"}) {
      // A 66 before a near branch is the size of its displacement (decoder cases).
      if (prefix[0] == '6' && second >= 0x80 && second <= 0x8F) continue;
      const std::string tail = "0f" + std::string(1, "0123456789abcdef"[second >> 4]) +
                               std::string(1, "0123456789abcdef"[second & 15]) + "4424080102030405";
      const Decoded withPrefix = DecodeBytes(Hex(prefix + tail));
      const Decoded plain = DecodeBytes(Hex(tail));
      ASSERT_TRUE(withPrefix.ok && plain.ok) << second;
      EXPECT_EQ(withPrefix.mnemonic, plain.mnemonic) << prefix << " " << second;
      EXPECT_EQ(withPrefix.length, plain.length + (prefix[0] ? 1u : 0u)) << prefix << " " << second;
    }
  }
}

}  // namespace

namespace {

// The argument mask names exactly the operations that carry an argument byte.
TEST(DisasmModern, ArgumentMaskMatchesTheOperations) {
  const uint8_t withArgument[] = {0x03, 0x07, 0x09, 0x0F, 0x10, 0x24, 0x2C, 0x2D, 0x2E,
                                  0x2F, 0x30, 0x31, 0x32, 0x34, 0x35, 0x36, 0x37, 0x38};
  for (uint32_t code = 0; code < 64; ++code) {
    bool expected = false;
    for (uint8_t c : withArgument) expected = expected || c == code;
    EXPECT_EQ(disasm::HasArgument(static_cast<disasm::Operation>(code)), expected) << code;
  }
}

}  // namespace
