// Decoding of single instructions from a byte window: lengths, prefixes, mnemonics and
// operand texts, row by row where the opcode map needs care.
#include <gtest/gtest.h>

#include "disasm/tables.h"
#include "disasm_support.h"

namespace {

using Case = DecodeCase;

// Instructions at 00401000, decoded without symbols.
const Case kCases[] = {
    {"55", 1, "", "push", "ebp"},
    {"8b4500", 3, "", "mov", "eax,[ebp]"},
    {"8b45fc", 3, "", "mov", "eax,[ebp-0x4]"},
    {"8b4580", 3, "", "mov", "eax,[ebp-0x80]"},
    {"8b457f", 3, "", "mov", "eax,[ebp+0x7f]"},
    {"8b80f0ffffff", 6, "", "mov", "eax,[eax+0xfffffff0]"},
    {"6a05", 2, "", "push", "0x5"},
    {"6aff", 2, "", "push", "0xff"},
    {"66b80000", 4, "", "mov", "ax,0x0"},
    {"66b83412", 4, "", "mov", "ax,0x1234"},
    {"b878563412", 5, "", "mov", "eax,0x12345678"},
    {"b0ff", 2, "", "mov", "al,0xff"},
    {"b4ff", 2, "", "mov", "ah,0xff"},
    {"cd21", 2, "", "int", "21"},
    {"cc", 1, "", "int", "3"},
    {"e460", 2, "", "in", "al,60"},
    {"e560", 2, "", "in", "eax,60"},
    {"e660", 2, "", "out", "60,al"},
    {"ec", 1, "", "in", "al,dx"},
    {"ed", 1, "", "in", "eax,dx"},
    {"ee", 1, "", "out", "dx,al"},
    {"66ef", 2, "", "out", "dx,ax"},
    {"0fc8", 2, "", "bswap", "eax"},
    {"0fcf", 2, "", "bswap", "edi"},
    {"0fa0", 2, "", "push", "fs"},
    {"0fa1", 2, "", "pop", "fs"},
    {"0fa8", 2, "", "push", "gs"},
    {"0fa9", 2, "", "pop", "gs"},
    {"06", 1, "", "push", "es"},
    {"1f", 1, "", "pop", "ds"},
    {"0fab08", 3, "", "bts", "[eax],ecx"},
    {"0fa308", 3, "", "bt", "[eax],ecx"},
    {"dbe3", 2, "", "finit", ""},
    {"dbe0", 2, "", "feni", ""},
    {"dbe4", 2, "", "fsetpm", ""},
    {"dbe8", 2, "", "fucomi", "st,st(0)"},
    {"dbc0", 2, "", "fcmovnb", "st,st(0)"},
    {"d9ee", 2, "", "fldz", ""},
    {"d9e8", 2, "", "fld1", ""},
    {"d9ef", 2, "", "???", ""},
    {"d9ff", 2, "", "fcos", ""},
    {"d9f0", 2, "", "f2xm1", ""},
    {"d9e0", 2, "", "fchs", ""},
    {"d9d0", 2, "", "fnop", ""},
    {"d9d7", 2, "", "fnop", ""},
    {"d9d9", 2, "", "fstp", "st(1)"},
    {"ded9", 2, "", "fcompp", ""},
    {"deda", 2, "", "fcompp", ""},
    {"ded1", 2, "", "fcomp", "st(1)"},
    {"dae9", 2, "", "fucompp", ""},
    {"daef", 2, "", "fucompp", ""},
    {"dac0", 2, "", "fcmovb", "st,st(0)"},
    {"dfe0", 2, "", "fstsw", ""},
    {"dfe7", 2, "", "fstsw", ""},
    {"dfc1", 2, "", "ffree", "st(1)"},
    {"dfc9", 2, "", "fxch", "st(1)"},
    {"dfd1", 2, "", "fst", "st(1)"},
    {"dfd9", 2, "", "fstp", "st(1)"},
    {"dcd1", 2, "", "fcom", "st(1)"},
    {"dcd9", 2, "", "fcomp", "st(1)"},
    {"ddc9", 2, "", "fxch", "st(1)"},
    {"d9c9", 2, "", "fxch", "st(1)"},
    {"d8c1", 2, "", "fadd", "st,st(1)"},
    {"d8d1", 2, "", "fcom", "st(1)"},
    {"dcc1", 2, "", "fadd", "st(1),st"},
    {"dce1", 2, "", "fsub", "st(1),st"},
    {"dce9", 2, "", "fsubr", "st(1),st"},
    {"dcf1", 2, "", "fdiv", "st(1),st"},
    {"dcf9", 2, "", "fdivr", "st(1),st"},
    {"dec1", 2, "", "faddp", "st(1),st"},
    {"dee1", 2, "", "fsubp", "st(1),st"},
    {"dee9", 2, "", "fsubrp", "st(1),st"},
    {"def9", 2, "", "fdivrp", "st(1),st"},
    {"ddd9", 2, "", "fstp", "st(1)"},
    {"dde1", 2, "", "fucom", "st(1)"},
    {"d945fc", 3, "", "fld", "dword ptr [ebp-0x4]"},
    {"dd5df8", 3, "", "fstp", "qword ptr [ebp-0x8]"},
    {"db6df0", 3, "", "fld", "tbyte ptr [ebp-0x10]"},
    {"db7df0", 3, "", "fstp", "tbyte ptr [ebp-0x10]"},
    {"df6df0", 3, "", "fild", "qword ptr [ebp-0x10]"},
    {"df45f0", 3, "", "fild", "word ptr [ebp-0x10]"},
    {"da45f0", 3, "", "fiadd", "dword ptr [ebp-0x10]"},
    {"de4df0", 3, "", "fimul", "word ptr [ebp-0x10]"},
    {"df65f0", 3, "", "fbld", "tbyte ptr [ebp-0x10]"},
    {"d97dfe", 3, "", "fstcw", "[ebp-0x2]"},
    {"dd7dfe", 3, "", "fstsw", "[ebp-0x2]"},
    {"d94df0", 3, "", "???", ""},
    {"0f0b", 2, "", "ud2", ""},
    {"0f40c1", 3, "", "cmovo", "eax,ecx"},
    {"0fffc0", 3, "", "ud0", "eax,eax"},
    {"0f04", 2, "", "???", ""},
    {"0f05", 2, "", "loadall", ""},
    {"0f06", 2, "", "clts", ""},
    {"0f25", 2, "", "???", ""},
    {"0f30", 2, "", "wrmsr", ""},
    {"0f31", 2, "", "rdtsc", ""},
    {"0f32", 2, "", "rdmsr", ""},
    {"0f7fc1", 3, "", "movq", "mm1,mm0"},
    {"0fa2", 2, "", "cpuid", ""},
    {"0faa", 2, "", "rsm", ""},
    {"0faee8", 3, "", "lfence", ""},
    {"0fb0c8", 3, "", "cmpxchg", "al,cl"},
    {"0fb1c8", 3, "", "cmpxchg", "eax,ecx"},
    {"0fc2c100", 4, "", "cmpps", "xmm0,xmm1,0x0"},
    {"0fc6c11b", 4, "", "shufps", "xmm0,xmm1,0x1b"},
    {"0fa6c8", 3, "", "cmpxchg", "al,cl"},
    {"0fa7c8", 3, "", "cmpxchg", "eax,ecx"},
    {"0fc1c8", 3, "", "xadd", "eax,ecx"},
    {"0fc70e", 3, "", "cmpxchg8b", "qword ptr [esi]"},
    {"678b07", 3, "", "mov", "eax,[bx]"},
    {"678b4604", 4, "", "mov", "eax,[bp+0x4]"},
    {"678b063412", 5, "", "mov", "eax,[1234]"},
    {"678b80f0ff", 5, "", "mov", "eax,[bx+si+0xfff0]"},
    {"678b40fc", 4, "", "mov", "eax,[bx+si-0x4]"},
    {"678b02", 3, "", "mov", "eax,[bp+si]"},
    {"666690", 3, "", "nop", ""},
    {"262e8b00", 4, "", "mov", "eax,cs:[eax]"},
    {"648b00", 3, "", "mov", "eax,fs:[eax]"},
    {"64ffc0", 3, "", "inc", "fs:eax"},
    {"2e90", 2, "", "nop", ""},
    {"f3a5", 2, "rep ", "movsd", ""},
    {"f366a5", 3, "rep ", "movsw", ""},
    {"f2ae", 2, "repne ", "scasb", ""},
    {"f3a6", 2, "rep ", "cmpsb", ""},
    {"f0ff00", 3, "lock", "inc", "dword ptr [eax]"},
    {"f3f090", 3, "lock", "pause", ""},
    {"f0f390", 3, "lock", "pause", ""},
    {"a4", 1, "", "movsb", ""},
    {"ad", 1, "", "lodsd", ""},
    {"66ab", 2, "", "stosw", ""},
    {"6c", 1, "", "insb", ""},
    {"6d", 1, "", "insd", ""},
    {"666d", 2, "", "insw", ""},
    {"6f", 1, "", "outsd", ""},
    {"98", 1, "", "cwde", ""},
    {"6698", 2, "", "cbw", ""},
    {"99", 1, "", "cdq", ""},
    {"6699", 2, "", "cwd", ""},
    {"60", 1, "", "pushad", ""},
    {"6660", 2, "", "pusha", ""},
    {"61", 1, "", "popad", ""},
    {"9c", 1, "", "pushfd", ""},
    {"9d", 1, "", "popfd", ""},
    {"cf", 1, "", "iretd", ""},
    {"66cf", 2, "", "iret", ""},
    {"e305", 2, "", "jecxz", "00401007"},
    {"67e305", 3, "", "jcxz", "1008"},
    {"e205", 2, "", "loop", "00401007"},
    {"67e205", 3, "", "loop", "1008"},
    {"70fe", 2, "", "jo", "00401000"},
    {"74fe", 2, "", "jz", "00401000"},
    {"7afe", 2, "", "jpe", "00401000"},
    {"7ffe", 2, "", "jg", "00401000"},
    {"ebfe", 2, "", "jmp", "00401000"},
    {"0f84faffffff", 6, "", "je", "00401000"},
    {"0f8ffaffffff", 6, "", "jnle", "00401000"},
    {"0f8a00000000", 6, "", "jp", "00401006"},
    {"e8fbffffff", 5, "", "call", "00401000"},
    {"e900100000", 5, "", "jmp", "00402005"},
    // 66 makes the displacement and the target 16-bit; 67 changes neither.
    {"66e8fcff", 4, "", "call", "1000"},
    {"67e8fbffffff", 6, "", "call", "00401001"},
    {"660f84faff", 5, "", "je", "0fff"},
    {"670f84faffffff", 7, "", "je", "00401001"},
    {"66e9fbff", 4, "", "jmp", "0fff"},
    {"0f90c0", 3, "", "seto", "al"},
    {"0f9f00", 3, "", "setnle", "byte ptr [eax]"},
    {"0f9dc0", 3, "", "setge", "al"},
    {"d40a", 2, "", "aam", ""},
    {"d408", 2, "", "aam", "0x8"},
    {"d50a", 2, "", "aad", ""},
    {"d510", 2, "", "aad", "0x10"},
    {"d546", 2, "", "aad", "0x46"},
    {"8b442404", 4, "", "mov", "eax,[esp+0x4]"},
    {"8b4424fc", 4, "", "mov", "eax,[esp-0x4]"},
    {"8b04b500200000", 7, "", "mov", "eax,[00002000+esi*4]"},
    {"8b44b308", 4, "", "mov", "eax,[ebx+esi*4+0x8]"},
    {"8b0433", 3, "", "mov", "eax,[ebx+esi]"},
    {"8b047300000000", 3, "", "mov", "eax,[ebx+esi*2]"},
    {"8b04f3", 3, "", "mov", "eax,[ebx+esi*8]"},
    {"8d0424", 3, "", "lea", "eax,[esp]"},
    {"8d0464", 3, "", "lea", "eax,[esp]"},
    {"8d046500000000", 7, "", "lea", "eax,[00000000]"},
    {"8d842400010000", 7, "", "lea", "eax,[esp+0x100]"},
    {"8b0500304000", 6, "", "mov", "eax,[00403000]"},
    {"a100304000", 5, "", "mov", "eax,[00403000]"},
    {"a000304000", 5, "", "mov", "al,[00403000]"},
    {"a200304000", 5, "", "mov", "[00403000],al"},
    {"a300304000", 5, "", "mov", "[00403000],eax"},
    {"66a100304000", 6, "", "mov", "ax,[00403000]"},
    {"64a118000000", 6, "", "mov", "eax,fs:[00000018]"},
    {"67a10030", 4, "", "mov", "eax,[3000]"},
    {"c8100001", 4, "", "enter", "0x10,0x1"},
    {"c20800", 3, "", "ret", "0x8"},
    {"ca0000", 3, "", "retf", "0x0"},
    {"c3", 1, "", "ret", ""},
    {"ea001040001b00", 7, "", "jmp", "001b:00401000"},
    {"9a001040001b00", 7, "", "call", "001b:00401000"},
    {"66ea00101b00", 6, "", "jmp", "001b:1000"},
    {"82c005", 3, "", "add", "al,0x5"},
    {"d6", 1, "", "???", ""},
    {"f1", 1, "", "int1", ""},
    {"c0f005", 3, "", "???", "al,0x5"},
    {"c1e005", 3, "", "shl", "eax,0x5"},
    {"d0e0", 2, "", "shl", "al,1"},
    {"d1f8", 2, "", "sar", "eax,1"},
    {"d3e0", 2, "", "shl", "eax,cl"},
    {"d2c8", 2, "", "ror", "al,cl"},
    {"d12c24", 3, "", "shr", "dword ptr [esp],1"},
    // F6 /1 and F7 /1 run as test.
    {"f6c841", 3, "", "test", "al,0x41"},
    {"f6c941", 3, "", "test", "cl,0x41"},
    {"f6c005", 3, "", "test", "al,0x5"},
    {"f60005", 3, "", "test", "byte ptr [eax],0x5"},
    {"f7c078563412", 6, "", "test", "eax,0x12345678"},
    {"f7d8", 2, "", "neg", "eax"},
    {"f7e1", 2, "", "mul", "ecx"},
    {"f638", 2, "", "idiv", "byte ptr [eax]"},
    {"f748fc78563412", 7, "", "test", "dword ptr [eax-0x4],0x12345678"},
    {"66f7c83412", 5, "", "test", "ax,0x1234"},
    {"fed0", 2, "", "???", "al"},
    {"fec0", 2, "", "inc", "al"},
    {"fe08", 2, "", "dec", "byte ptr [eax]"},
    {"fff8", 2, "", "???", ""},
    {"ffc0", 2, "", "inc", "eax"},
    {"ff30", 2, "", "push", "dword ptr [eax]"},
    {"ff1510204000", 6, "", "call", "dword ptr [00402010]"},
    {"ffd0", 2, "", "call", "eax"},
    {"ff1d10204000", 6, "", "call", "fword ptr [00402010]"},
    {"66ff1d10204000", 7, "", "call", "dword ptr [00402010]"},
    {"ff2c24", 3, "", "jmp", "fword ptr [esp]"},
    {"ff2485c0104000", 7, "", "jmp", "dword ptr [004010c0+eax*4]"},
    {"8f00", 2, "", "pop", "[eax]"},
    {"668f00", 3, "", "pop", "[eax]"},
    {"8f4004", 3, "", "pop", "[eax+0x4]"},
    {"0f20c0", 3, "", "mov", "eax,cr0"},
    {"660f20c0", 4, "", "mov", "eax,cr0"},
    {"0f22d8", 3, "", "mov", "cr3,eax"},
    {"0f21c8", 3, "", "mov", "eax,dr1"},
    {"0f23f8", 3, "", "mov", "dr7,eax"},
    {"0f24d8", 3, "", "mov", "eax,tr3"},
    {"0f26f0", 3, "", "mov", "tr6,eax"},
    {"8cd8", 2, "", "mov", "eax,ds"},
    {"668cd8", 3, "", "mov", "ax,ds"},
    {"8c18", 2, "", "mov", "[eax],ds"},
    {"8ed8", 2, "", "mov", "ds,eax"},
    {"8ef0", 2, "", "mov", "??,eax"},
    {"63c0", 2, "", "arpl", "eax,eax"},
    {"0fb7c0", 3, "", "movzx", "eax,ax"},
    {"0fb6c0", 3, "", "movzx", "eax,al"},
    {"0fbec0", 3, "", "movsx", "eax,al"},
    {"0fbfc8", 3, "", "movsx", "ecx,ax"},
    {"660fb6c0", 4, "", "movzx", "ax,al"},
    {"0fb60d00204000", 7, "", "movzx", "ecx,byte ptr [00402000]"},
    {"0fb708", 3, "", "movzx", "ecx,word ptr [eax]"},
    {"0f01e0", 3, "", "smsw", "al"},
    {"0f01f0", 3, "", "lmsw", "al"},
    {"0f011500000000", 7, "", "lgdt", "[00000000]"},
    {"0f0100", 3, "", "sgdt", "[eax]"},
    {"0f0120", 3, "", "smsw", "word ptr [eax]"},
    {"0f0128", 3, "", "???", ""},
    {"0f0138", 3, "", "invlpg", "byte ptr [eax]"},
    {"0f00c0", 3, "", "sldt", "eax"},
    {"0f0018", 3, "", "ltr", "word ptr [eax]"},
    {"0f0030", 3, "", "???", "word ptr [eax]"},
    {"0fbae005", 4, "", "bt", "eax,0x5"},
    {"0fba2005", 4, "", "bt", "word ptr [eax],0x5"},
    {"0fbac005", 4, "", "???", "eax,0x5"},
    {"0fbaf805", 4, "", "btc", "eax,0x5"},
    {"0f02c0", 3, "", "lar", "eax,eax"},
    {"0f03c8", 3, "", "lsl", "ecx,eax"},
    {"0fafc1", 3, "", "imul", "eax,ecx"},
    {"0fbcc1", 3, "", "bsf", "eax,ecx"},
    {"0fbdc1", 3, "", "bsr", "eax,ecx"},
    {"0fa4c205", 4, "", "shld", "edx,eax,0x5"},
    {"0fa5c2", 3, "", "shld", "edx,eax,cl"},
    {"0facc205", 4, "", "shrd", "edx,eax,0x5"},
    {"0fb200", 3, "", "lss", "eax,[eax]"},
    {"0fb400", 3, "", "lfs", "eax,[eax]"},
    {"0fb500", 3, "", "lgs", "eax,[eax]"},
    {"c400", 2, "", "les", "eax,[eax]"},
    {"66c500", 3, "", "lds", "ax,[eax]"},
    {"69c010000000", 6, "", "imul", "eax,eax,0x10"},
    {"6bc0ff", 3, "", "imul", "eax,eax,0xff"},
    {"6669c01000", 5, "", "imul", "ax,ax,0x10"},
    {"83c0ff", 3, "", "add", "eax,0xff"},
    {"83e8f0", 3, "", "sub", "eax,0xf0"},
    {"81c078563412", 6, "", "add", "eax,0x12345678"},
    {"6681c03412", 5, "", "add", "ax,0x1234"},
    {"800005", 3, "", "add", "byte ptr [eax],0x5"},
    {"80f805", 3, "", "cmp", "al,0x5"},
    {"833d0030400000", 7, "", "cmp", "dword ptr [00403000],0x0"},
    {"66833d0030400000", 8, "", "cmp", "word ptr [00403000],0x0"},
    {"c60005", 3, "", "mov", "byte ptr [eax],0x5"},
    {"66c7003412", 5, "", "mov", "word ptr [eax],0x1234"},
    {"c7052030400078563412", 10, "", "mov", "dword ptr [00403020],0x12345678"},
    {"c7c078563412", 6, "", "mov", "eax,0x12345678"},
    {"6200", 2, "", "bound", "eax,[eax]"},
    {"90", 1, "", "nop", ""},
    {"91", 1, "", "xchg", "eax,ecx"},
    {"6691", 2, "", "xchg", "ax,cx"},
    {"97", 1, "", "xchg", "eax,edi"},
    {"86c8", 2, "", "xchg", "al,cl"},
    {"87c8", 2, "", "xchg", "eax,ecx"},
    {"0001", 2, "", "add", "[ecx],al"},
    {"0201", 2, "", "add", "al,[ecx]"},
    {"0401", 2, "", "add", "al,0x1"},
    {"0501000000", 5, "", "add", "eax,0x1"},
    {"660501ff", 4, "", "add", "ax,0xff01"},
    {"2c01", 2, "", "sub", "al,0x1"},
    {"a801", 2, "", "test", "al,0x1"},
    {"a901000000", 5, "", "test", "eax,0x1"},
    {"8400", 2, "", "test", "[eax],al"},
    {"85c0", 2, "", "test", "eax,eax"},
    {"6685c0", 3, "", "test", "ax,ax"},
    {"32c0", 2, "", "xor", "al,al"},
    {"33c0", 2, "", "xor", "eax,eax"},
    {"8ac4", 2, "", "mov", "al,ah"},
    {"40", 1, "", "inc", "eax"},
    {"6648", 2, "", "dec", "ax"},
    {"5f", 1, "", "pop", "edi"},
    {"6800104000", 5, "", "push", "0x401000"},
    {"66680000", 4, "", "push", "0x0"},
    {"9b", 1, "", "wait", ""},
    {"d7", 1, "", "xlat", ""},
    {"f4", 1, "", "hlt", ""},
    {"c9", 1, "", "leave", ""},
    {"27", 1, "", "daa", ""},
    {"9e", 1, "", "sahf", ""},
    {"ce", 1, "", "into", ""},
};

class DecoderRows : public ::testing::TestWithParam<Case> {};

TEST_P(DecoderRows, DecodesToTheTexts) { ExpectDecodes(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Disasm, DecoderRows, ::testing::ValuesIn(kCases));

TEST(DisasmTables, SizesAndTwoByteIndex) {
  EXPECT_EQ(disasm::TwoByteIndex(0x00), 0x100u);
  EXPECT_EQ(disasm::TwoByteIndex(0x06), 0x106u);
  EXPECT_EQ(disasm::TwoByteIndex(0x07), 0x104u);
  EXPECT_EQ(disasm::TwoByteIndex(0x20), 0x107u);
  EXPECT_EQ(disasm::TwoByteIndex(0x26), 0x10Du);
  EXPECT_EQ(disasm::TwoByteIndex(0x27), 0x104u);
  EXPECT_EQ(disasm::TwoByteIndex(0x30), 0x10Eu);
  EXPECT_EQ(disasm::TwoByteIndex(0x32), 0x110u);
  EXPECT_EQ(disasm::TwoByteIndex(0x7E), 0x104u);
  EXPECT_EQ(disasm::TwoByteIndex(0x7F), 0x113u);
  EXPECT_EQ(disasm::TwoByteIndex(0xCF), 0x163u);
  EXPECT_EQ(disasm::TwoByteIndex(0xD0), 0x104u);
  EXPECT_STREQ(disasm::kPrimaryTable[0x104].mnemonic, "???");
  EXPECT_STREQ(disasm::kPrimaryTable[0xF2].mnemonic, "repne ");
  EXPECT_STREQ(disasm::kPrimaryTable[0xF3].mnemonic, "rep ");
  EXPECT_STREQ(disasm::kPrimaryTable[0x64].mnemonic, "fs:");
}

// Every script ends: each path through a row's script reaches a complete class or dispatches.
TEST(DisasmTables, EveryScriptEndsWithinItsBytes) {
  auto ends = [](const uint8_t* script) {
    for (int i = 0; i < 8; ++i) {
      const uint8_t byte = script[i];
      const disasm::Operation op = disasm::OperationOf(byte);
      if (disasm::ClassOf(byte) == disasm::kClassComplete) return true;
      switch (op) {
        case disasm::Operation::AddressSizePrefix:
        case disasm::Operation::OperandSizePrefix:
        case disasm::Operation::SegmentPrefix:
        case disasm::Operation::ListedPrefix:
        case disasm::Operation::TwoByteEscape:
        case disasm::Operation::X87Dispatch:
        case disasm::Operation::ExtensionRow:
        case disasm::Operation::ExtensionRowByMod:
        case disasm::Operation::ThreeByteEscape:
          return true;
        default:
          break;
      }
      if (disasm::HasArgument(op)) ++i;
    }
    return false;
  };
  for (uint32_t row = 0; row < disasm::kPrimaryRowCount; ++row) EXPECT_TRUE(ends(disasm::kPrimaryTable[row].script)) << row;
  for (uint32_t row = 0; row < disasm::kExtensionRowCount; ++row)
    for (uint32_t entry = 0; entry < disasm::kEntriesPerRow; ++entry)
      EXPECT_TRUE(ends(disasm::kExtensionTable[row][entry].script)) << row << "/" << entry;
}

// Any two bytes after any opcode: decoding ends, and the lengths-only path agrees.
TEST(DisasmDecoder, LengthsOnlyAgreesOnEveryOpcodeAndModRM) {
  for (uint32_t first = 0; first < 256; ++first) {
    for (uint32_t second = 0; second < 256; ++second) {
      for (uint32_t third : {0x00u, 0x05u, 0x44u, 0x84u, 0xC0u, 0x24u, 0xFFu}) {
        std::vector<uint8_t> bytes(16, 0x11);
        bytes[0] = static_cast<uint8_t>(first);
        bytes[1] = static_cast<uint8_t>(second);
        bytes[2] = static_cast<uint8_t>(third);
        Decoded d = DecodeBytes(bytes);
        uint32_t length = 0;
        bool ok = DecodeLength(bytes.data(), 16, &length);
        ASSERT_EQ(ok, d.ok) << first << " " << second;
        if (ok) {
          ASSERT_EQ(length, d.length) << first << " " << second;
          ASSERT_GE(length, 1u);
        }
      }
    }
  }
}

}  // namespace
