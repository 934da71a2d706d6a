// The companion's exit status, told by what became of the dump session. README.md lists the
// same table for the companion's users.
#pragma once

class CLogFile;

enum DumpExitCode : int {
  kExitDumped = 0,             // the report and every region file were written in full (also --list, --help, --version)
  kExitReportNotCreated = 1,   // the report file could not be created (also: a report name that cannot be
                               // represented, or region files of an earlier dump that could not be removed)
  kExitAttachFailed = 2,       // attaching refused or failed (also: the process list could not be read, or
                               // the process could not be opened)
  kExitBadArguments = 3,       // bad arguments: a usage error
  kExitWriteFailed = 4,        // the report was written, but a report or region-file write failed
  kExitWaitTimedOut = 5,       // the debug-event wait failed or timed out before any report
  kExitTargetExited = 6,       // the target exited before the report was written
  kExitNoSuchProcess = 7,      // no process with that id, or no process of that name
  kExitSeveralProcesses = 8,   // several processes match the name (their ids are named)
  kExitProcessIs64Bit = 9,     // a 64-bit process: only 32-bit processes can be dumped
  kExitKeepRunningFailed = 10, // a keep-running step failed: kill-on-exit switch, guard restore,
                               // continue or detach
  kExitMinidumpFailed = 11,    // the report was written, but the minidump asked for was not
};

// For a session whose event loop has returned attached (its result). A keep-running step
// that failed outranks a failed write: the target may not be as the user left it.
DumpExitCode DumpExitStatus(const CLogFile& session, bool attached);
