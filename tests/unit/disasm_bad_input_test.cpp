// Bad input: unreadable code, windows cut short inside an instruction, runs of prefixes; and
// the instruction lengths of common code laid between int 3 sentinels.
#include <gtest/gtest.h>
#include <string.h>

#include "disasm/listing.h"
#include "disasm_support.h"
#include "test_support.h"

namespace {

struct Target {
  LineRecorder log;
  CLogFile session{"/dev/null", log.pane};
  CThreadContext thread{nullptr, 1};
  Target() {
    session.process = sim::target().processHandle;
    sim::target().symbolsActive = true;
    session.memory.SetCache(false);  // the requests themselves reach the platform
  }
};

TEST(DisasmBadInput, UnreadableCodeGivesTheFailureLine) {
  sim::Reset();
  Target t;
  char line[kListingLineSize];
  uint32_t address = 0x00401000;
  EXPECT_FALSE(Disassemble(t.session.target, t.thread, address, line, true));
  EXPECT_EQ(address, 0x00401000u);
  EXPECT_STREQ(line, "00401000 ??               ???");
  uint32_t length = 99;
  EXPECT_FALSE(DisassembleLength(t.session.target, 0x00401000, &length));
  EXPECT_EQ(length, 99u);
  // Only the code window was asked for, never more than 64 bytes.
  for (const auto& read : sim::Reads()) EXPECT_LE(read.second, 64u);
}

TEST(DisasmBadInput, WindowCutShortAtEveryByteOfAnInstruction) {
  const char* const kInstructions[] = {
      "c7052030400078563412", "8b04b500200000", "66ea00101b00", "f3a5",   "0fb60d00204000", "69c010000000",
      "9a001040001b00",       "8b44b308",       "678b063412",   "dd5df8", "0fba2005",       "f0f0f0ff1510204000",
      "2e3e2664ff2485c0104000", "c8100001",     "d408",         "0fc70e",
  };
  for (const char* hex : kInstructions) {
    std::vector<uint8_t> bytes = Hex(hex);
    for (uint32_t cut = 0; cut < bytes.size(); ++cut) {
      std::vector<uint8_t> window(bytes.begin(), bytes.begin() + cut);  // exactly cut bytes: ASan sees overreads
      Decoded d = DecodeBytes(window);
      EXPECT_FALSE(d.ok) << hex << " cut at " << cut;
      EXPECT_LE(d.length, cut);
      uint32_t length = 0;
      EXPECT_FALSE(DecodeLength(window.data(), cut, &length)) << hex << " cut at " << cut;
    }
    Decoded whole = DecodeBytes(bytes);
    EXPECT_TRUE(whole.ok) << hex;
    EXPECT_EQ(whole.length, bytes.size()) << hex;
  }
}

TEST(DisasmBadInput, FailureLineShowsTheBytesRead) {
  sim::Reset();
  Target t;
  // 8 readable bytes before an unreadable page: the window shrinks to 8, the instruction is 10.
  sim::AddRegion(0x00400000, 0x1000, PAGE_EXECUTE_READ);
  sim::Fill(0x00400ff8, Hex("c705203040007856"));
  char line[kListingLineSize];
  uint32_t address = 0x00400ff8;
  EXPECT_FALSE(Disassemble(t.session.target, t.thread, address, line, false));
  EXPECT_STREQ(line, "00400ff8 c705203040007856?? ???");
  // A short instruction fits the 8 bytes: it is listed.
  sim::Reset();
  Target u;
  sim::AddRegion(0x00400000, 0x1000, PAGE_EXECUTE_READ);
  sim::Fill(0x00400ff8, Hex("5589e55dc3909090"));
  address = 0x00400ff8;
  EXPECT_TRUE(Disassemble(u.session.target, u.thread, address, line, false));
  EXPECT_EQ(address, 0x00400ff9u);
  // Fewer than 8 bytes left: nothing can be read, even for a one-byte instruction.
  address = 0x00400ffc;
  EXPECT_FALSE(Disassemble(u.session.target, u.thread, address, line, false));
  EXPECT_STREQ(line, "00400ffc ??               ???");
}

TEST(DisasmBadInput, SixtyFourPrefixesRunPastTheWindow) {
  for (uint8_t prefix : {0x66, 0x67, 0x26, 0x64, 0xF0, 0xF3}) {
    std::vector<uint8_t> bytes(64, prefix);
    Decoded d = DecodeBytes(bytes);
    EXPECT_FALSE(d.ok);
    uint32_t length = 0;
    EXPECT_FALSE(DecodeLength(bytes.data(), 64, &length));
    bytes[63] = 0x90;
    Decoded nop = DecodeBytes(bytes);
    EXPECT_TRUE(nop.ok);
    EXPECT_EQ(nop.length, 64u);
    EXPECT_EQ(nop.mnemonic, prefix == 0xF3 ? "pause" : "nop");  // F3 90 is pause
    EXPECT_LT(nop.prefix.size(), 32u);
  }
  sim::Reset();
  Target t;
  sim::AddRegion(0x00401000, 0x2000, PAGE_EXECUTE_READ);
  sim::Fill(0x00401000, std::vector<uint8_t>(100, 0x66));
  char line[kListingLineSize];
  uint32_t address = 0x00401000;
  EXPECT_FALSE(Disassemble(t.session.target, t.thread, address, line, true));
  EXPECT_EQ(std::string(line), "00401000 " + std::string(128, '6') + "?? ???");
  EXPECT_EQ(sim::Reads().size() > 0 ? sim::Reads()[0].second : 0u, 64u);
}

TEST(DisasmBadInput, ReadsAreTheWindowAndTheSlotsOnly) {
  sim::Reset();
  Target t;
  sim::AddRegion(0x00401000, 0x1000, PAGE_EXECUTE_READ);
  sim::Fill(0x00401000, Hex("f3a5"));
  t.thread.context.Esi = 0x00403000;
  t.thread.context.Edi = 0x00404000;
  char line[kListingLineSize];
  uint32_t address = 0x00401000;
  EXPECT_TRUE(Disassemble(t.session.target, t.thread, address, line, true));
  ASSERT_GE(sim::Reads().size(), 3u);
  EXPECT_EQ(sim::Reads()[0], std::make_pair(DWORD{0x00401000}, DWORD{64}));
  EXPECT_EQ(sim::Reads()[sim::Reads().size() - 2], std::make_pair(DWORD{0x00403000}, DWORD{4}));
  EXPECT_EQ(sim::Reads().back(), std::make_pair(DWORD{0x00404000}, DWORD{4}));
  // Lengths only: one window read, no symbol lookups.
  const size_t before = sim::Reads().size();
  const int lookups = sim::Calls("SymGetSymFromAddr");
  uint32_t length = 0;
  sim::Fill(0x00401100, Hex("e8fbffffff"));
  EXPECT_TRUE(DisassembleLength(t.session.target, 0x00401100, &length));
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(sim::Reads().size(), before + 1);
  EXPECT_EQ(sim::Calls("SymGetSymFromAddr"), lookups);
}

// Common function code, one instruction per entry with its length, laid out as
// CC insn CC insn ... CC: a linear decode must land on every sentinel.
struct Sized {
  const char* hex;
  uint32_t length;
};
const Sized kCode[] = {
    {"55", 1},           {"8bec", 2},           {"83ec20", 3},         {"81ec00010000", 6},   {"53", 1},
    {"56", 1},           {"57", 1},             {"8b7d08", 3},         {"8b750c", 3},         {"8d45f0", 3},
    {"50", 1},           {"ff15a0104000", 6},   {"e800000000", 5},     {"85c0", 2},           {"7405", 2},
    {"0f84f0ffffff", 6}, {"33c0", 2},           {"c745fc00000000", 7}, {"c705a0104000ffffffff", 10},
    {"66c745fc0000", 6}, {"8b0c8d00104000", 7}, {"8b442410", 4},       {"8b8424000100000", 7},
    {"f3ab", 2},         {"f3a4", 2},           {"f2ae", 2},           {"64a100000000", 6},   {"64892500000000", 7},
    {"64ff3500000000", 7}, {"6a00", 2},         {"68ff000000", 5},     {"ff742408", 4},       {"0fb645f8", 4},
    {"0fbf4df8", 4},     {"0faf45f8", 4},       {"d9ee", 2},           {"dd45f8", 3},         {"dc4df0", 3},
    {"dfe0", 2},         {"9b", 1},             {"d9c9", 2},           {"de c9", 2},          {"db2d00104000", 6},
    {"8d642400", 4},     {"8d742600", 4},       {"8db42600000000", 7}, {"8dbc2700000000", 7}, {"90", 1},
    {"c20800", 3},       {"c3", 1},             {"cd2e", 2},           {"e9fbffffff", 5},     {"eb00", 2},
    {"ff2485a0104000", 7}, {"0fa2", 2},         {"0f31", 2},           {"f00fc10a", 4},       {"0fc70f", 3},
    {"0fa7ca", 3},       {"66a5", 2},           {"668b4508", 4},       {"66b80100", 4},       {"6681fa3412", 5},
    {"678b4608", 4},     {"d40a", 2},           {"c8080000", 4},       {"c9", 1},             {"5f", 1},
};

TEST(DisasmLengths, InstructionsBetweenSentinels) {
  std::vector<uint8_t> code{0xCC};
  std::vector<uint32_t> expected;
  for (const Sized& entry : kCode) {
    std::vector<uint8_t> bytes = Hex(entry.hex);
    ASSERT_EQ(bytes.size(), entry.length) << entry.hex;
    code.insert(code.end(), bytes.begin(), bytes.end());
    code.push_back(0xCC);
  }
  size_t at = 0;
  for (const Sized& entry : kCode) {
    uint32_t length = 0;
    ASSERT_TRUE(DecodeLength(&code[at], static_cast<uint32_t>(std::min<size_t>(64, code.size() - at)), &length));
    ASSERT_EQ(length, 1u) << "sentinel before " << entry.hex;
    at += 1;
    ASSERT_TRUE(DecodeLength(&code[at], static_cast<uint32_t>(std::min<size_t>(64, code.size() - at)), &length));
    EXPECT_EQ(length, entry.length) << entry.hex;
    ASSERT_EQ(code[at + entry.length], 0xCC) << entry.hex;
    at += entry.length;
  }
  EXPECT_EQ(at + 1, code.size());
}

}  // namespace
