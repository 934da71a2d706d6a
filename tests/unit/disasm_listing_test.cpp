// Listing lines through Disassemble over the simulated target: the worked layout examples
// byte for byte, value texts, symbolic addresses, long symbol names and the text helpers.
#include <gtest/gtest.h>
#include <string.h>

#include "disasm/listing.h"
#include "disasm_support.h"
#include "test_support.h"

namespace {

// Blanks up to column (at least one), then text.
std::string At(const std::string& line, size_t column, const std::string& text) {
  std::string out = line + " ";
  while (out.size() < column) out += ' ';
  return out + text;
}

TEST(DisasmLayout, PushAtColumns26And34) {
  EXPECT_EQ(List("55"), At(At("00401000 55", 26, "push"), 34, "ebp") + "\n");
}

TEST(DisasmLayout, CallToSymbolStart) {
  EXPECT_EQ(List("--base 00401005 --symbol GetLastError=00401000 e8f6ffffff"),
            At(At("00401005 e8f6ffffff", 26, "call"), 34, "GetLastError (00401000)") + "\n");
}

TEST(DisasmLayout, StackValueFromColumn57) {
  const std::string line =
      List("--base 00401010 --eval --reg ebp=0012ff70 --mem 0012ff78=01000000 8b4508");
  EXPECT_EQ(line, At(At(At("00401010 8b4508", 26, "mov"), 34, "eax,[ebp+0x8]"), 57, "ss:0012ff78=00000001") + "\n");
  EXPECT_EQ(line.find("ss:"), 57u);
  EXPECT_EQ(line.size() - 1, 77u);
}

TEST(DisasmLayout, RepMovsdMovesToColumns25And30) {
  const std::string line = List(
      "--base 0040101a --eval --reg esi=00403000 --reg edi=00404000 --mem 00403000=01000000 --mem 00404000=00000000 "
      "f3a5");
  EXPECT_EQ(line, "0040101a f3a5            rep  movsd ds:00403000=00000001 es:00404000=00000000\n");
  EXPECT_EQ(line.find("rep"), 25u);
  EXPECT_EQ(line.find("movsd"), 30u);
  EXPECT_EQ(line.find("ds:"), 36u);
}

TEST(DisasmLayout, IndirectCallValueFromColumn57) {
  const std::string line = List("--base 00401020 --eval --mem 00402010=b3a2e177 ff1510204000");
  EXPECT_EQ(line,
            At(At(At("00401020 ff1510204000", 26, "call"), 34, "dword ptr [00402010]"), 57, "ds:00402010=77e1a2b3") +
                "\n");
}

TEST(DisasmLayout, TenByteInstructionWithValueWraps) {
  const std::string line = List("--base 00401030 --eval --mem 00403020=00000000 c7052030400078563412");
  const std::string first = At("00401030 c7052030400078563412", 57, "ds:00403020=00000000");
  const std::string second = At(At("", 26, "mov"), 34, "dword ptr [00403020],0x12345678");
  EXPECT_EQ(line, first + "\n        " + second + "\n");
  // Columns of the continuation count from after its 8 blanks.
  const std::string rest = line.substr(line.find('\n') + 9);
  EXPECT_EQ(rest.find("mov"), 26u);
  EXPECT_EQ(rest.find("dword"), 34u);
}

TEST(DisasmLayout, LongHeadMovesMnemonicToHeadPlusOne) {
  // 7 code bytes: head of 23 characters keeps column 26; 10 bytes without values: H + 1.
  EXPECT_EQ(List("8b04b500200000"), At(At("00401000 8b04b500200000", 26, "mov"), 34, "eax,[00002000+esi*4]") + "\n");
  EXPECT_EQ(List("c7052030400078563412"),
            At(At("00401000 c7052030400078563412", 30, "mov"), 34, "dword ptr [00403020],0x12345678") + "\n");
  // 12 bytes: the operands follow at A + W1 + 1.
  EXPECT_EQ(List("66c7842400010000ffff"),
            At(At("00401000 66c7842400010000ffff", 30, "mov"), 34, "word ptr [esp+0x100],0xffff") + "\n");
}

TEST(DisasmLayout, FieldsLongerThanTheLineWrapWithoutValues) {
  // A 70-character symbol makes mnemonic and operands longer than 76: wrap, W1 0, W2 A + 1.
  const std::string name(64, 'n');
  const std::string line = List("--symbol " + name + "=00401000 e8fbffffff");
  EXPECT_EQ(line, "00401000 e8fbffffff call " + name + " (00401000)\n");
}

TEST(DisasmValues, SlotTextsAndUnreadableValues) {
  // Unreadable value: eight question marks; the line still succeeds.
  EXPECT_EQ(List("--eval --reg ebp=0012ff70 8b4508"),
            At(At(At("00401000 8b4508", 26, "mov"), 34, "eax,[ebp+0x8]"), 57, "ss:0012ff78=????????") + "\n");
  // 16-bit addressing cuts the address to 16 bits.
  EXPECT_NE(List("--eval --reg ebx=12345678 --mem 00005678=aabbccdd 678b07").find("ds:00005678=ddccbbaa"),
            std::string::npos);
  EXPECT_NE(List("--eval --reg ebp=00120004 678b4604").find("ss:00000008=????????"), std::string::npos);
  // esp-based: ss:, esp minus 4.
  EXPECT_NE(List("--eval --reg esp=0012ff80 --mem 0012ff7c=78563412 8b4424fc").find("ss:0012ff7c=12345678"),
            std::string::npos);
  // Index times scale plus direct displacement; ebx + esi*4 + 8.
  EXPECT_NE(List("--eval --reg esi=00000002 8b04b500200000").find("ds:00002008=????????"), std::string::npos);
  EXPECT_NE(List("--eval --reg ebx=00001000 --reg esi=00000003 8b44b308").find("ds:00001014=????????"),
            std::string::npos);
  // Sizes: byte, word, qword, tbyte, fword.
  EXPECT_NE(List("--eval --mem 00403000=ab a000304000").find("ds:00403000=ab"), std::string::npos);
  EXPECT_NE(List("--eval --mem 00403000=abcd 66a100304000").find("ds:00403000=cdab"), std::string::npos);
  EXPECT_NE(List("--eval --reg ebp=00500010 --mem 00500008=0102030405060708 dd45f8").find("ss:00500008=0807060504030201"),
            std::string::npos);
  EXPECT_NE(List("--eval --reg ebp=00500010 db6df0").find("ss:00500000=????????????????????"), std::string::npos);
  EXPECT_NE(List("--eval ff1d10204000").find("ds:00402010=????????????"), std::string::npos);
  // A register operand shows no value; neither does an instruction without memory operands.
  EXPECT_EQ(List("--eval 8bc0"), At(At("00401000 8bc0", 26, "mov"), 34, "eax,eax") + "\n");
  EXPECT_EQ(List("--eval f7d8").find('='), std::string::npos);
  // Nor for a memory form the processor leaves undefined.
  EXPECT_EQ(List("--eval 0f5000").find('='), std::string::npos);
  // An override names the segment of both slots.
  EXPECT_NE(List("--eval --reg esi=00403000 --reg edi=00404000 26a4").find("es:00403000=?? es:00404000=??"),
            std::string::npos);
  EXPECT_NE(List("--eval --mem 00000018=00f0fd7f 64a118000000").find("fs:00000018=7ffdf000"), std::string::npos);
  // Without --eval no values at all.
  EXPECT_EQ(List("--mem 00403000=ab a000304000").substr(0, 6), "error:");
  EXPECT_EQ(List("a000304000").find('='), std::string::npos);
}

TEST(DisasmSymbols, DisplacementsAndSixteenBitTargets) {
  EXPECT_EQ(List("--symbol table=00403000:10 a104304000"),
            At(At("00401000 a104304000", 26, "mov"), 34, "eax,[table+0x4 (00403004)]") + "\n");
  EXPECT_NE(List("--symbol table=00403000 8b04b504304000").find("[table+0x4 (00403004)+esi*4]"), std::string::npos);
  EXPECT_NE(List("--symbol f=00401000 ea041040001b00").find("jmp     001b:f+0x4 (00401004)"), std::string::npos);
  // A 16-bit target is looked up by its low 16 bits and written with 4 digits.
  EXPECT_NE(List("--symbol low=00001000 66e8fcff").find("call    low (1000)"), std::string::npos);
  EXPECT_NE(List("--symbol low=00000ff0 66e8fcff").find("call    low+0x10 (1000)"), std::string::npos);
}

TEST(DisasmSymbols, LongNamesAreCutAtThePieceCapacity) {
  std::string name(1024, 'x');
  name[0] = 'N';
  name.back() = 'Z';
  // Branch target: the operand text holds 79 characters.
  std::string branch = List("--symbol " + name + "=00401000 e8fbffffff");
  ASSERT_EQ(branch.back(), '\n');
  branch.pop_back();
  EXPECT_LT(branch.size(), 1024u);
  const std::string head = "00401000 e8fbffffff call ";
  ASSERT_EQ(branch.substr(0, head.size()), head);
  EXPECT_EQ(branch.substr(head.size()), name.substr(0, 79));
  // Direct memory operand with values: the memory text and then the operand text are cut.
  std::string direct = List("--symbol " + name + "=00403000 --eval --mem 00403000=01000000 c705003040007856341200");
  ASSERT_NE(direct.find('\n'), std::string::npos);
  EXPECT_LT(direct.size(), 1024u);
  EXPECT_NE(direct.find("ds:00403000=00000001"), std::string::npos);
  const size_t start = direct.find("dword ptr [N");
  ASSERT_NE(start, std::string::npos);
  EXPECT_EQ(direct.substr(start, direct.find('\n', start) - start), "dword ptr [" + name.substr(0, 68));
  EXPECT_EQ(direct.find('Z'), std::string::npos);
}

TEST(DisasmSymbols, LineFitsWithLongestPiecesEverywhere) {
  sim::Reset();
  LineRecorder log;
  CLogFile session("/dev/null", log.pane);
  session.process = sim::target().processHandle;
  sim::target().symbolsActive = true;
  sim::AddSymbol(std::string(2000, 'q'), 0, 0);
  std::vector<uint8_t> code(63, 0xF0);  // 63 lock prefixes, then a far call with a symbol
  code.push_back(0x9A);
  sim::AddRegion(0x00401000, 0x1000, PAGE_EXECUTE_READ);
  sim::Fill(0x00401000, code);
  CThreadContext thread(nullptr, 1);
  char line[kListingLineSize + 16];
  memset(line, 0x55, sizeof line);
  uint32_t address = 0x00401000;
  EXPECT_FALSE(Disassemble(session.target, thread, address, line, true));  // 9A needs bytes past 64
  EXPECT_LT(strlen(line), kListingLineSize);
  for (size_t i = kListingLineSize; i < sizeof line; ++i) EXPECT_EQ(line[i], 0x55);
  code.back() = 0x90;
  sim::AddRegion(0x00402000, 0x1000, PAGE_EXECUTE_READ);
  sim::Fill(0x00402000, code);
  address = 0x00402000;
  EXPECT_TRUE(Disassemble(session.target, thread, address, line, true));
  EXPECT_EQ(address, 0x00402040u);
  // The prefix text stops at its 31 characters.
  EXPECT_NE(strstr(line, "lock lock lock lock lock lock l nop"), nullptr) << line;
}

TEST(DisasmHelpers, NumbersAndHex) {
  auto number = [](std::vector<uint8_t> bytes, bool isSigned) {
    disasm::TextPiece<32> text;
    disasm::AppendNumber(text, bytes.data(), static_cast<uint32_t>(bytes.size()), isSigned);
    return std::string(text.c_str());
  };
  EXPECT_EQ(number({0x05}, false), "0x5");
  EXPECT_EQ(number({0x00, 0x00}, false), "0x0");
  EXPECT_EQ(number({0xff}, false), "0xff");
  EXPECT_EQ(number({0x00, 0x00, 0x00, 0x00}, false), "0x0");
  EXPECT_EQ(number({0x78, 0x56, 0x34, 0x12}, false), "0x12345678");
  EXPECT_EQ(number({0x00}, true), "");
  EXPECT_EQ(number({0xfc}, true), "-0x4");
  EXPECT_EQ(number({0x80}, true), "-0x80");
  EXPECT_EQ(number({0x7f}, true), "+0x7f");
  EXPECT_EQ(number({0xf0, 0xff}, true), "+0xfff0");
  EXPECT_EQ(number({0xf0, 0xff, 0xff, 0xff}, true), "+0xfffffff0");
  EXPECT_EQ(number({0x00, 0x00, 0x00, 0x00}, true), "");
  const uint8_t bytes[4] = {0x01, 0x02, 0x03, 0x04};
  disasm::TextPiece<32> hex;
  disasm::AppendHexBytes(hex, bytes, 4);
  hex.Append(' ');
  disasm::AppendHexValue(hex, bytes, 4);
  EXPECT_STREQ(hex.c_str(), "01020304 04030201");
  disasm::TextPiece<4> small;
  disasm::AppendHexBytes(small, bytes, 4);
  EXPECT_STREQ(small.c_str(), "010");
}

}  // namespace
