// Whether a value can be a return address: it lies in an executable section of a module of
// the module table, and the bytes just before it decode, with the disassembler's own
// decoder, as a call that ends exactly there: E8 rel32, FF /2 in any of its ModR/M forms,
// or 9A ptr16:32.
#pragma once

#include <stdint.h>

class CTarget;

// The three forms: E8 rel32 (direct), FF /2 (indirect, through a register or memory) and
// 9A ptr16:32 (far, whose offset is known).
enum class CallKind : uint8_t { Direct, Indirect, Far };

struct CallSite {
  uint32_t length = 0;  // of the call instruction
  CallKind kind = CallKind::Indirect;
  uint32_t target = 0;  // the called address of a direct or far call
  // Only direct and far calls end there: the target is known.
  bool direct() const { return kind != CallKind::Indirect; }
};

// True when address is believable as a return address; *site then describes the call.
bool CallEndsAt(const CTarget& target, uint32_t address, CallSite* site);

// The shortest and longest call instruction that CallEndsAt accepts.
constexpr uint32_t kShortestCall = 2;
constexpr uint32_t kLongestCall = 7;
