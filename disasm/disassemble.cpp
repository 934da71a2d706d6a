#include "disasm/disassemble.h"

#include "disasm/decoder.h"
#include "disasm/listing.h"
#include "session/target.h"

using disasm::DecoderState;
using disasm::kCodeWindowSize;
using disasm::Text;
using disasm::TextPiece;

namespace {

// The largest value slot: a tbyte.
constexpr uint32_t kLargestValue = 10;

void BuildValues(const CTarget& target, const DecoderState& state, Text& values) {
  const char* override = disasm::OverrideText(state);
  for (const disasm::ValueSlot& slot : state.slots) {
    if (slot.size == 0 || slot.size > kLargestValue) continue;
    uint8_t bytes[kLargestValue];
    uint32_t count = 0;
    target.Read(slot.address, bytes, slot.size, &count, true);
    disasm::AppendValue(values, override != nullptr ? override : slot.segment, slot.address, bytes, slot.size,
                        count == slot.size);
  }
  disasm::FinishValues(values);
}

uint32_t ReadCodeWindow(const CTarget& target, uint32_t address, uint8_t* window) {
  uint32_t count = 0;
  target.Read(address, window, kCodeWindowSize, &count, true);
  return count < kCodeWindowSize ? count : kCodeWindowSize;
}

}  // namespace

bool Disassemble(const CTarget& target, const CThreadContext& thread, uint32_t& address, char* line, bool evaluate) {
  Text out(line, kListingLineSize);
  uint8_t window[kCodeWindowSize];
  const uint32_t count = ReadCodeWindow(target, address, window);

  DecoderState state;
  const disasm::DecodeContext context = {&target, &thread, evaluate};
  if (!disasm::DecodeInstruction(state, window, count, address, context)) {
    disasm::WriteFailureLine(out, address, window, count);
    return false;
  }

  TextPiece<disasm::kValueCapacity> values;
  if (evaluate) BuildValues(target, state, values);
  TextPiece<disasm::kHeadCapacity> head;
  disasm::AppendHead(head, address, window, state.cursor);
  disasm::LayOutLine(out, head, state.prefix, state.mnemonic, state.operands, values);
  address += state.cursor;
  return true;
}

bool DisassembleLength(const CTarget& target, uint32_t address, uint32_t* length) {
  uint8_t window[kCodeWindowSize];
  const uint32_t count = ReadCodeWindow(target, address, window);
  return DecodeLength(window, count, length);
}
