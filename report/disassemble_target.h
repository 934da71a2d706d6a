// The listing of the target's code: the disassembler fed with the target's one read path,
// its symbols and the thread's registers.
#pragma once

#include <stdint.h>

#include "disasm/disassemble.h"

class CTarget;
struct CThreadContext;

// Decodes the instruction at address in the target and writes its listing line into line
// (kListingLineSize characters). With evaluate, memory operands are worked out from the
// thread's registers and their values shown. True: address is advanced past the instruction.
// False: the instruction could not be read; line holds the failure line, address is unchanged.
bool Disassemble(const CTarget& target, const CThreadContext& thread, uint32_t& address, char* line, bool evaluate);

// The length Disassemble would find at address, with the same result; no text, no symbol
// lookups, no value reads: one read of the 64-byte code window.
bool DisassembleLength(const CTarget& target, uint32_t address, uint32_t* length);
