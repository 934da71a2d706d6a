// Registers of a stopped thread by index, and the register block of a thread section.
#pragma once

#include <stdint.h>

#include "session/report_context.h"
#include "session/target.h"

// Indices 0..15 and 20..25 name CONTEXT fields, 42 the return address above Ebp, 100..129
// fields and flags of those (register field table). Any other index gives 0.
uint64_t RegisterValue(const CTarget& target, const CThreadContext& thread, uint32_t index);

void WriteRegisters(const ReportContext& context, const CThreadContext& thread);
