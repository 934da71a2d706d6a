#include "disasm/disassemble.h"

#include "disasm/decoder.h"
#include "disasm/listing.h"

namespace disasm {

namespace {

// The largest value slot: a tbyte.
constexpr uint32_t kLargestValue = 10;

// "seg:address=value" of each memory operand the listing shows a value of.
void BuildValues(ByteReader& memory, const RegisterValues& registers, const Instruction& record, Text& values) {
  for (uint32_t i = 0; i < record.memoryCount; ++i) {
    const MemoryOperand& operand = record.memory[i];
    if (operand.size == 0 || operand.size > kLargestValue) continue;
    const uint32_t address = EffectiveAddress(operand, registers);
    uint8_t bytes[kLargestValue];
    const uint32_t count = memory.Read(address, bytes, operand.size);
    AppendValue(values, SegmentText(operand.segment), address, bytes, operand.size, count == operand.size);
  }
  FinishValues(values);
}

uint32_t ReadCodeWindow(ByteReader& memory, uint32_t address, uint8_t* window) {
  const uint32_t count = memory.Read(address, window, kCodeWindowSize);
  return count < kCodeWindowSize ? count : kCodeWindowSize;
}

}  // namespace

bool ListInstruction(const ListingSources& sources, uint32_t& address, char* line) {
  Text out(line, kListingLineSize);
  uint8_t window[kCodeWindowSize];
  const uint32_t count = ReadCodeWindow(*sources.memory, address, window);

  DecoderState state;
  if (!DecodeInstruction(state, window, count, address, sources.symbols)) {
    WriteFailureLine(out, address, window, count);
    return false;
  }

  TextPiece<kValueCapacity> values;
  if (sources.registers != nullptr) {
    Instruction record;
    RecordOf(state, &record);
    BuildValues(*sources.memory, *sources.registers, record, values);
  }
  TextPiece<kHeadCapacity> head;
  AppendHead(head, address, window, state.cursor);
  LayOutLine(out, head, state.prefix, state.mnemonic, state.operands, values);
  address += state.cursor;
  return true;
}

bool ReadLength(ByteReader& memory, uint32_t address, uint32_t* length) {
  uint8_t window[kCodeWindowSize];
  const uint32_t count = ReadCodeWindow(memory, address, window);
  return DecodeLength(window, count, length);
}

}  // namespace disasm
