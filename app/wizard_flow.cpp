#include "app/wizard_flow.h"

const PageRow kPageTable[2] = {
    // Panel1 Panel2 Fin   Back   Next
    {true, false, false, false, true},  // process page
    {false, true, true, true, false},   // options page
};

const char* WizardStateName(WizardState state) {
  switch (state) {
    case WizardState::kChoosingProcess: return "ChoosingProcess";
    case WizardState::kOptions: return "Options";
    case WizardState::kDumpRunning: return "DumpRunning";
    case WizardState::kDumpOver: return "DumpOver";
    case WizardState::kReportFileFailed: return "ReportFileFailed";
    case WizardState::kUnknown: break;
  }
  return "Unknown";
}

WizardState StateOf(const WizardFlags& f) {
  if (f.panel1Visible && !f.panel2Visible && !f.finVisible && !f.backEnabled) return WizardState::kChoosingProcess;
  if (!f.panel1Visible && f.panel2Visible && f.finVisible) {
    if (!f.panel3Visible) {
      if (f.backVisible && f.backEnabled && !f.nextEnabled && !f.finHintClose) return WizardState::kOptions;
      return WizardState::kUnknown;
    }
    if (!f.finHintClose) return WizardState::kDumpRunning;
    if (!f.backVisible && !f.nextVisible) return WizardState::kDumpOver;
    if (f.backVisible && f.backEnabled && !f.nextEnabled) return WizardState::kReportFileFailed;
  }
  return WizardState::kUnknown;
}

void ShowPage(WizardFlags& flags, int page) {
  const PageRow& row = kPageTable[page == kOptionsPage ? kOptionsPage : kProcessPage];
  flags.panel1Visible = row.panel1Visible;
  flags.panel2Visible = row.panel2Visible;
  flags.finVisible = row.finVisible;
  flags.backEnabled = row.backEnabled;
  flags.nextEnabled = row.nextEnabled;
}

void AfterRefresh(WizardFlags& flags) {
  flags.rowSelected = false;
  flags.rowIs64Bit = false;
  flags.nextEnabled = false;
}

void SelectionChanged(WizardFlags& flags, bool rowSelected) {
  flags.rowSelected = rowSelected;
  if (!rowSelected) flags.rowIs64Bit = false;
  flags.nextEnabled = rowSelected;
}

bool EnterOptions(WizardFlags& flags) {
  if (!flags.rowSelected || flags.rowIs64Bit) return false;
  ShowPage(flags, kOptionsPage);
  return true;
}

NextOutcome PressNext(WizardFlags& flags) {
  if (flags.rowSelected && flags.rowIs64Bit) return NextOutcome::kRefuse64Bit;
  return EnterOptions(flags) ? NextOutcome::kOptions : NextOutcome::kNothing;
}

void BackToProcesses(WizardFlags& flags) {
  ShowPage(flags, kProcessPage);
  AfterRefresh(flags);
}

FinishAction BeginFinish(WizardFlags& flags) {
  if (flags.panel3Visible) return FinishAction::kCloseWindow;
  if (!flags.rowSelected) return FinishAction::kNothing;
  flags.panel3Visible = true;
  return FinishAction::kStartDump;
}

void EndFinish(WizardFlags& flags, bool reportOpened) {
  if (reportOpened) {
    flags.backVisible = false;
    flags.nextVisible = false;
  } else {
    flags.backEnabled = true;
    flags.nextEnabled = false;
  }
  flags.finHintClose = true;
}
