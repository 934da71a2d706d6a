// The platform debuggers' copy of the moment the report describes: REPORT.dmp, written by
// dbghelp's MiniDumpWriteDump from the same stopped target in the same debug session, after
// the report's sections and before the target is ended or let go.
#pragma once

#include "session/log_file.h"

// The MINIDUMP_TYPE of a kind of minidump (MiniDumpNormal for kNone).
MINIDUMP_TYPE MinidumpType(MinidumpKind kind);

// The minidump's file name: the report's name and ".dmp".
std::wstring MinidumpFileName(const CLogFile& session);

// Writes the minidump when the session asks for one and none was tried yet, so the file
// always shows the first report's moment. The exception event being reported goes in as
// the dump's exception, with the registers the report printed for its thread. Failures are
// Log lines and set minidumpFailed; a file the writer did not finish is removed, so a .dmp
// that exists is a whole one.
void WriteMinidump(CLogFile& session, const EXCEPTION_DEBUG_INFO& exception);
