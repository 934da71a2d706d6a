#include "app/wizard_dump.h"

#include "report/report.h"
#include "session/log_file.h"

bool RunWizardDump(const DumpChoices& choices, TextPane& pane) {
  CLogFile session(choices.reportPath.c_str(), pane, ReportCreation::kAfterAttach);
  session.options = choices.options;
  session.AddListener(ReportListener());
  session.RunDebugLoop(choices.processId);
  return !session.reportRefused;
}
