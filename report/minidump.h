// The platform debuggers' copy of the moment the report describes: REPORT.dmp, written by
// dbghelp's MiniDumpWriteDump from the same stopped target in the same debug session, after
// the report's sections and before the target is ended or let go.
#pragma once

#include <stdint.h>

#include "session/minidump_kind.h"
#include "session/report_context.h"

// The MINIDUMP_TYPE of a kind of minidump (MiniDumpNormal for kNone).
MINIDUMP_TYPE MinidumpType(MinidumpKind kind);

// Writes the minidump of the kind the options ask for. The exception event being reported
// (from thread threadId) goes in as the dump's exception, with the registers the report
// printed for its thread. False after the Log lines that say why; a file the writer did not
// finish is removed, so a .dmp that exists is a whole one.
bool WriteMinidump(const ReportContext& context, const EXCEPTION_DEBUG_INFO& exception, uint32_t threadId);
