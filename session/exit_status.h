// The companion's exit status, told by what became of the dump session.
#pragma once

class CLogFile;

enum DumpExitCode : int {
  kExitDumped = 0,             // the report and every region file were written in full
  kExitReportNotCreated = 1,   // the report file could not be created
  kExitAttachFailed = 2,       // attaching failed
  kExitBadArguments = 3,       // bad arguments
  kExitWriteFailed = 4,        // the report was written, but a report or region-file write failed
  kExitWaitTimedOut = 5,       // the debug-event wait failed or timed out before any report
  kExitTargetExited = 6,       // the target exited before the report was written
  kExitMinidumpFailed = 11,    // the report was written, but the minidump asked for was not
};

// For a session whose report file was created and whose event loop has returned attached
// (its result).
DumpExitCode DumpExitStatus(const CLogFile& session, bool attached);
