#include "session/exit_status.h"

#include "session/log_file.h"

DumpExitCode DumpExitStatus(const CLogFile& session, bool attached) {
  if (session.reportRefused) return kExitReportNotCreated;
  if (!attached) return kExitAttachFailed;
  if (session.reportsWritten == 0) return session.eventWaitFailed ? kExitWaitTimedOut : kExitTargetExited;
  if (session.keepRunningFailed) return kExitKeepRunningFailed;
  if (session.failedWrites > 0 || session.memoryWalkCut) return kExitWriteFailed;
  if (session.minidumpFailed) return kExitMinidumpFailed;
  return kExitDumped;
}
