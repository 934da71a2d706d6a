// The disassembler's entry points: one instruction of the target into one listing line, and
// the instruction lengths alone for callers that only need to walk code.
#pragma once

#include <stdint.h>

class CTarget;
struct CThreadContext;

// The caller's line buffer: a listing line always fits, its NUL included.
constexpr uint32_t kListingLineSize = 1024;

// Decodes the instruction at address in the target and writes its listing line into line
// (kListingLineSize characters). With evaluate, memory operands are worked out from the
// thread's registers and their values shown. True: address is advanced past the instruction.
// False: the instruction could not be read; line holds the failure line, address is unchanged.
bool Disassemble(const CTarget& target, const CThreadContext& thread, uint32_t& address, char* line, bool evaluate);

// The length Disassemble would find at address, with the same result; no text, no symbol
// lookups, no value reads: one read of the 64-byte code window.
bool DisassembleLength(const CTarget& target, uint32_t address, uint32_t* length);

// The same over code bytes already in hand: count is the number of bytes of window that the
// code window read would have delivered (at most 64 are used).
bool DecodeLength(const uint8_t* window, uint32_t count, uint32_t* length);
