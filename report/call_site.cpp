#include "report/call_site.h"

#include "disasm/instruction.h"
#include "session/target.h"

namespace {

// The call forms without a prefix: E8 rel32, 9A ptr16:32 and FF /2 (a far call through
// memory, FF /3, is no form a compiler calls a function with).
bool IsCallForm(const disasm::Instruction& record, CallKind* kind) {
  if (record.flow != disasm::Flow::kCall || record.prefixed) return false;
  if (record.indirect) {
    *kind = CallKind::Indirect;
    return !record.farTarget;
  }
  *kind = record.farTarget ? CallKind::Far : CallKind::Direct;
  return true;
}

}  // namespace

bool CallEndsAt(const CTarget& target, uint32_t address, CallSite* site) {
  if (address < kLongestCall || !target.images().Holds(address)) return false;
  // The bytes before the address, all in one read; a call cut by an unreadable page below
  // its end is no call that can be shown.
  uint8_t bytes[kLongestCall];
  uint32_t count = 0;
  if (!target.Read(address - kLongestCall, bytes, kLongestCall, &count, false) || count != kLongestCall) {
    return false;
  }
  bool found = false;
  CallSite best;
  for (uint32_t length = kShortestCall; length <= kLongestCall; ++length) {
    disasm::Instruction record;
    CallKind kind = CallKind::Indirect;
    // Only the bytes up to the address are handed over: a longer instruction is cut.
    if (!disasm::DecodeRecord(bytes + kLongestCall - length, length, address - length, &record) ||
        record.length != length || !IsCallForm(record, &kind)) {
      continue;
    }
    if (!found || (best.direct() && kind == CallKind::Indirect)) {
      // An indirect call that ends here outweighs a direct one: its target is unknown, so
      // it cannot be held against a frame.
      best.length = length;
      best.kind = kind;
      best.target = record.target;
    }
    found = true;
  }
  if (found && site != nullptr) *site = best;
  return found;
}
