#include "session/exit_status.h"

#include "session/log_file.h"

DumpExitCode DumpExitStatus(const CLogFile& session, bool attached) {
  if (!attached) return kExitAttachFailed;
  if (session.reportsWritten == 0) return session.eventWaitFailed ? kExitWaitTimedOut : kExitTargetExited;
  if (session.failedWrites > 0) return kExitWriteFailed;
  if (session.minidumpFailed) return kExitMinidumpFailed;
  return kExitDumped;
}
