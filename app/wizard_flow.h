// The wizard's pages and states, kept as the flags of its controls: which panel is shown,
// which bottom buttons are visible and enabled, the Finish button's hint and whether a row
// of the process list is selected. The window reads these flags from its controls, lets the
// rules below change them and writes them back, so it holds no state of its own.
#pragma once

enum WizardPage { kProcessPage = 0, kOptionsPage = 1 };

// One row of the page table; ShowPage applies the flags in this order.
struct PageRow {
  bool panel1Visible;
  bool panel2Visible;
  bool finVisible;
  bool backEnabled;
  bool nextEnabled;
};

extern const PageRow kPageTable[2];

struct WizardFlags {
  bool panel1Visible = true;
  bool panel2Visible = false;
  bool panel3Visible = false;
  bool backVisible = true;
  bool backEnabled = false;
  bool nextVisible = true;
  bool nextEnabled = false;
  bool finVisible = false;
  bool finHintClose = false;  // the Finish hint reads "終了" instead of "ダンプの取得"
  bool rowSelected = false;   // a row of the process list is selected
  bool rowIs64Bit = false;    // ... and it is a 64-bit process, which cannot be dumped
};

enum class WizardState {
  kChoosingProcess,
  kOptions,
  kDumpRunning,
  kDumpOver,
  kReportFileFailed,
  kUnknown,
};

const char* WizardStateName(WizardState state);

// The state the flags describe.
WizardState StateOf(const WizardFlags& flags);

// One row of the page table. Panel3, the Finish caption and its hint are left alone.
void ShowPage(WizardFlags& flags, int page);

// The end of every refresh of the process list: no row selected, Next disabled.
void AfterRefresh(WizardFlags& flags);

// A change of the list's selection. Selecting enables Next; when the selection is cleared,
// Next is disabled again, so it is usable exactly while a row is selected.
void SelectionChanged(WizardFlags& flags, bool rowSelected);

// Next: the options page. False (and nothing changes) without a selected row, or with a
// 64-bit process selected.
bool EnterOptions(WizardFlags& flags);

enum class NextOutcome {
  kNothing,       // no selected row
  kOptions,       // the options page is shown
  kRefuse64Bit,   // a 64-bit process: the page stays, and the window says why
};
NextOutcome PressNext(WizardFlags& flags);

// Back: the process page and a cleared list.
void BackToProcesses(WizardFlags& flags);

enum class FinishAction {
  kNothing,      // no selected row: Finish does not act
  kCloseWindow,  // a dump has been attempted already
  kStartDump,    // the text pane is shown; open the session
};

// The first step of Finish. For kStartDump the text pane becomes visible.
FinishAction BeginFinish(WizardFlags& flags);

// The last steps of Finish once the dump has returned: reportOpened is false when the
// report was refused (its file could not be made), true after a dump or a failed attach.
void EndFinish(WizardFlags& flags, bool reportOpened);
