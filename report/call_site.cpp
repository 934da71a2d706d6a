#include "report/call_site.h"

#include "report/disassemble_target.h"
#include "session/log_file.h"

namespace {

uint32_t Word32(const uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// The call forms by their first byte. The decoder says how long the instruction is; only a
// length that ends at the return address counts.
bool IsCallForm(const uint8_t* code, uint32_t length, CallKind* kind) {
  switch (code[0]) {
    case 0xE8:
      *kind = CallKind::Direct;
      return length == 5;
    case 0x9A:
      *kind = CallKind::Far;
      return length == 7;
    case 0xFF:
      *kind = CallKind::Indirect;
      return ((code[1] >> 3) & 7) == 2;
    default:
      return false;
  }
}

}  // namespace

bool CallEndsAt(CLogFile& session, uint32_t address, CallSite* site) {
  if (address < kLongestCall || !session.codeSections.Holds(session, address)) return false;
  // The bytes before the address, all in one read; a call cut by an unreadable page below
  // its end is no call that can be shown.
  uint8_t bytes[kLongestCall];
  uint32_t count = 0;
  if (!session.ReadTargetMemory(address - kLongestCall, bytes, kLongestCall, &count, false) || count != kLongestCall) {
    return false;
  }
  bool found = false;
  CallSite best;
  for (uint32_t length = kShortestCall; length <= kLongestCall; ++length) {
    const uint8_t* code = bytes + kLongestCall - length;
    uint32_t decoded = 0;
    CallKind kind = CallKind::Indirect;
    // Only the bytes up to the address are handed over: a longer instruction is cut.
    if (!DecodeLength(code, length, &decoded) || decoded != length || !IsCallForm(code, length, &kind)) continue;
    if (!found || (best.direct() && kind == CallKind::Indirect)) {
      // An indirect call that ends here outweighs a direct one: its target is unknown, so
      // it cannot be held against a frame.
      best.length = length;
      best.kind = kind;
      best.target = code[0] == 0xE8 ? address + Word32(code + 1) : (code[0] == 0x9A ? Word32(code + 1) : 0);
    }
    found = true;
  }
  if (found && site != nullptr) *site = best;
  return found;
}
