// The instruction record: flow kinds and targets, and the memory operands with the addresses
// they evaluate to, one row per instruction form.
#include <gtest/gtest.h>

#include "disasm/instruction.h"
#include "disasm_support.h"

namespace {

using disasm::Flow;
using disasm::kNoRegister;

constexpr uint8_t kNone = kNoRegister;

struct RecordCase {
  const char* hex;
  uint32_t length;
  bool prefixed;
  Flow flow;
  bool indirect, farTarget;
  uint32_t target;
  uint16_t selector;
  uint32_t memoryCount;
  // The first memory operand; and both operands' segments and evaluated addresses.
  uint8_t base, index, scale;
  uint32_t size;
  const char* segments[2];
  uint32_t addresses[2];
};

// eax, ecx, edx, ebx, esp, ebp, esi, edi at the time of evaluation.
const disasm::RegisterValues kRegisters = {
    {0x00001000, 0x00000010, 0x00000020, 0x00403000, 0x0012FF00, 0x0012FF80, 0x00000100, 0x00000200}};

// At 00401000.
const RecordCase kCases[] = {
    {"e810000000", 5, false, Flow::kCall, false, false, 0x00401015, 0, 0, kNone, kNone, 1, 0, {}, {}},
    {"66e81000", 4, true, Flow::kCall, false, false, 0x1014, 0, 0, kNone, kNone, 1, 0, {}, {}},  // 16-bit target
    {"e9fbffffff", 5, false, Flow::kJump, false, false, 0x00401000, 0, 0, kNone, kNone, 1, 0, {}, {}},
    {"ebfe", 2, false, Flow::kJump, false, false, 0x00401000, 0, 0, kNone, kNone, 1, 0, {}, {}},
    {"7402", 2, false, Flow::kConditionalJump, false, false, 0x00401004, 0, 0, kNone, kNone, 1, 0, {}, {}},
    {"0f8400010000", 6, false, Flow::kConditionalJump, false, false, 0x00401106, 0, 0, kNone, kNone, 1, 0, {}, {}},
    {"e2fe", 2, false, Flow::kConditionalJump, false, false, 0x00401000, 0, 0, kNone, kNone, 1, 0, {}, {}},
    {"9a785634122300", 7, false, Flow::kCall, false, true, 0x12345678, 0x23, 0, kNone, kNone, 1, 0, {}, {}},
    {"ea785634121b00", 7, false, Flow::kJump, false, true, 0x12345678, 0x1B, 0, kNone, kNone, 1, 0, {}, {}},
    {"2eff1500204000", 7, true, Flow::kCall, true, false, 0, 0, 1, kNone, kNone, 1, 4, {"cs:"}, {0x00402000}},
    {"ffd0", 2, false, Flow::kCall, true, false, 0, 0, 0, kNone, kNone, 1, 0, {}, {}},
    {"ff1500204000", 6, false, Flow::kCall, true, false, 0, 0, 1, kNone, kNone, 1, 4, {"ds:"}, {0x00402000}},
    {"ff1c24", 3, false, Flow::kCall, true, true, 0, 0, 1, disasm::kEsp, kNone, 1, 6, {"ss:"}, {0x0012FF00}},
    {"ffd8", 2, false, Flow::kNone, false, false, 0, 0, 0, kNone, kNone, 1, 0, {}, {}},  // far needs memory
    {"ffe0", 2, false, Flow::kJump, true, false, 0, 0, 0, kNone, kNone, 1, 0, {}, {}},
    {"ff2500204000", 6, false, Flow::kJump, true, false, 0, 0, 1, kNone, kNone, 1, 4, {"ds:"}, {0x00402000}},
    {"ff6d08", 3, false, Flow::kJump, true, true, 0, 0, 1, disasm::kEbp, kNone, 1, 6, {"ss:"}, {0x0012FF88}},
    {"c3", 1, false, Flow::kNone, false, false, 0, 0, 0, kNone, kNone, 1, 0, {}, {}},
    {"8b44b5f8", 4, false, Flow::kNone, false, false, 0, 0, 1, disasm::kEbp, disasm::kEsi, 4, 4, {"ss:"}, {0x00130378}},
    {"8b0c8b", 3, false, Flow::kNone, false, false, 0, 0, 1, disasm::kEbx, disasm::kEcx, 4, 4, {"ds:"}, {0x00403040}},
    {"8b04cd00104000", 7, false, Flow::kNone, false, false, 0, 0, 1, kNone, disasm::kEcx, 8, 4, {"ds:"}, {0x00401080}},
    {"64a118000000", 6, true, Flow::kNone, false, false, 0, 0, 1, kNone, kNone, 1, 4, {"fs:"}, {0x18}},
    {"678b42ff", 4, true, Flow::kNone, false, false, 0, 0, 1, disasm::kEbp, disasm::kEsi, 1, 4, {"ss:"}, {0x0000007F}},
    {"8a00", 2, false, Flow::kNone, false, false, 0, 0, 1, disasm::kEax, kNone, 1, 1, {"ds:"}, {0x00001000}},
    {"8bc1", 2, false, Flow::kNone, false, false, 0, 0, 0, kNone, kNone, 1, 0, {}, {}},  // registers only
    {"f3a5", 2, true, Flow::kNone, false, false, 0, 0, 2, disasm::kEsi, kNone, 1, 4, {"ds:", "es:"}, {0x100, 0x200}},
    {"26a4", 2, true, Flow::kNone, false, false, 0, 0, 2, disasm::kEsi, kNone, 1, 1, {"es:", "es:"}, {0x100, 0x200}},
};

TEST(DisasmRecord, FlowKindsAndMemoryOperands) {
  for (const RecordCase& c : kCases) {
    const std::vector<uint8_t> bytes = Hex(c.hex);
    disasm::Instruction record;
    ASSERT_TRUE(disasm::DecodeRecord(bytes.data(), static_cast<uint32_t>(bytes.size()), 0x00401000, &record))
        << c.hex;
    EXPECT_EQ(record.length, c.length) << c.hex;
    EXPECT_EQ(record.prefixed, c.prefixed) << c.hex;
    EXPECT_EQ(record.flow, c.flow) << c.hex;
    EXPECT_EQ(record.indirect, c.indirect) << c.hex;
    EXPECT_EQ(record.farTarget, c.farTarget) << c.hex;
    EXPECT_EQ(record.target, c.target) << c.hex;
    EXPECT_EQ(record.selector, c.selector) << c.hex;
    ASSERT_EQ(record.memoryCount, c.memoryCount) << c.hex;
    if (c.memoryCount == 0) continue;
    EXPECT_EQ(record.memory[0].base, c.base) << c.hex;
    EXPECT_EQ(record.memory[0].index, c.index) << c.hex;
    EXPECT_EQ(record.memory[0].scale, c.scale) << c.hex;
    EXPECT_EQ(record.memory[0].size, c.size) << c.hex;
    for (uint32_t i = 0; i < c.memoryCount; ++i) {
      EXPECT_STREQ(disasm::SegmentText(record.memory[i].segment), c.segments[i]) << c.hex << " operand " << i;
      EXPECT_EQ(disasm::EffectiveAddress(record.memory[i], kRegisters), c.addresses[i]) << c.hex << " operand " << i;
    }
  }
}

// A record needs every byte of its instruction: one short of it fails.
TEST(DisasmRecord, CutInstructionHasNoRecord) {
  for (const RecordCase& c : kCases) {
    const std::vector<uint8_t> bytes = Hex(c.hex);
    disasm::Instruction record;
    EXPECT_FALSE(disasm::DecodeRecord(bytes.data(), c.length - 1, 0x00401000, &record)) << c.hex;
  }
}

}  // namespace
