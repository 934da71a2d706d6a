#include <gtest/gtest.h>

#include "app/wizard_flow.h"

namespace {

TEST(PageTable, TwoRowsOfFiveFlags) {
  const PageRow& process = kPageTable[kProcessPage];
  EXPECT_TRUE(process.panel1Visible);
  EXPECT_FALSE(process.panel2Visible);
  EXPECT_FALSE(process.finVisible);
  EXPECT_FALSE(process.backEnabled);
  EXPECT_TRUE(process.nextEnabled);

  const PageRow& options = kPageTable[kOptionsPage];
  EXPECT_FALSE(options.panel1Visible);
  EXPECT_TRUE(options.panel2Visible);
  EXPECT_TRUE(options.finVisible);
  EXPECT_TRUE(options.backEnabled);
  EXPECT_FALSE(options.nextEnabled);
}

TEST(PageTable, ShowPageLeavesPanel3AndTheFinishHintAlone) {
  WizardFlags flags;
  flags.panel3Visible = true;
  flags.finHintClose = true;
  flags.backVisible = false;
  ShowPage(flags, kOptionsPage);
  EXPECT_TRUE(flags.panel3Visible);
  EXPECT_TRUE(flags.finHintClose);
  EXPECT_FALSE(flags.backVisible);
  ShowPage(flags, kProcessPage);
  EXPECT_TRUE(flags.panel3Visible);
  EXPECT_TRUE(flags.finHintClose);
  EXPECT_TRUE(flags.panel1Visible);
  EXPECT_TRUE(flags.nextEnabled);
}

// The window after construction: the list is filled, Next waits for a selection.
WizardFlags Started() {
  WizardFlags flags;
  AfterRefresh(flags);
  return flags;
}

TEST(WizardStates, StartIsChoosingAProcessWithNextDisabled) {
  WizardFlags flags = Started();
  EXPECT_EQ(StateOf(flags), WizardState::kChoosingProcess);
  EXPECT_FALSE(flags.nextEnabled);
  EXPECT_FALSE(flags.backEnabled);
  EXPECT_FALSE(flags.finVisible);
}

TEST(WizardStates, SelectingARowEnablesNextAndClearingDisablesIt) {
  WizardFlags flags = Started();
  SelectionChanged(flags, true);
  EXPECT_TRUE(flags.nextEnabled);
  EXPECT_EQ(StateOf(flags), WizardState::kChoosingProcess);
  SelectionChanged(flags, false);
  EXPECT_FALSE(flags.nextEnabled);
}

TEST(WizardStates, UpdateClearsTheSelection) {
  WizardFlags flags = Started();
  SelectionChanged(flags, true);
  AfterRefresh(flags);
  EXPECT_FALSE(flags.rowSelected);
  EXPECT_FALSE(flags.nextEnabled);
  EXPECT_EQ(StateOf(flags), WizardState::kChoosingProcess);
}

// Next with each kind of selection: a 64-bit process keeps the process page as it was.
TEST(WizardStates, NextGoesOnOnlyWithA32BitRow) {
  struct Case {
    const char* name;
    bool selected;
    bool is64Bit;
    NextOutcome outcome;
    WizardState after;
  };
  const Case cases[] = {
      {"no row", false, false, NextOutcome::kNothing, WizardState::kChoosingProcess},
      {"32-bit row", true, false, NextOutcome::kOptions, WizardState::kOptions},
      {"64-bit row", true, true, NextOutcome::kRefuse64Bit, WizardState::kChoosingProcess},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WizardFlags flags = Started();
    SelectionChanged(flags, c.selected);
    flags.rowIs64Bit = c.is64Bit;
    const bool nextBefore = flags.nextEnabled;
    EXPECT_EQ(PressNext(flags), c.outcome);
    EXPECT_EQ(StateOf(flags), c.after);
    if (c.outcome != NextOutcome::kOptions) {
      EXPECT_EQ(flags.nextEnabled, nextBefore);  // a refused row can be left for another
      EXPECT_EQ(flags.rowSelected, c.selected);
    }
  }
}

TEST(WizardStates, ARefreshOrAClearedSelectionForgetsThe64BitRow) {
  WizardFlags flags = Started();
  SelectionChanged(flags, true);
  flags.rowIs64Bit = true;
  SelectionChanged(flags, false);
  EXPECT_FALSE(flags.rowIs64Bit);
  flags.rowIs64Bit = true;
  AfterRefresh(flags);
  EXPECT_FALSE(flags.rowIs64Bit);
}

TEST(WizardStates, NextWithoutARowDoesNothing) {
  WizardFlags flags = Started();
  flags.nextEnabled = true;  // as ShowPage(0) leaves it
  WizardFlags before = flags;
  EXPECT_FALSE(EnterOptions(flags));
  EXPECT_EQ(StateOf(flags), StateOf(before));
  EXPECT_TRUE(flags.panel1Visible);
}

TEST(WizardStates, NextShowsTheOptions) {
  WizardFlags flags = Started();
  SelectionChanged(flags, true);
  ASSERT_TRUE(EnterOptions(flags));
  EXPECT_EQ(StateOf(flags), WizardState::kOptions);
  EXPECT_TRUE(flags.finVisible);
  EXPECT_TRUE(flags.backEnabled);
  EXPECT_FALSE(flags.nextEnabled);
}

TEST(WizardStates, BackReturnsToAClearedList) {
  WizardFlags flags = Started();
  SelectionChanged(flags, true);
  ASSERT_TRUE(EnterOptions(flags));
  BackToProcesses(flags);
  EXPECT_EQ(StateOf(flags), WizardState::kChoosingProcess);
  EXPECT_FALSE(flags.nextEnabled);
  EXPECT_FALSE(flags.rowSelected);
}

TEST(WizardStates, FinishRunsTheDumpAndEndsInDumpOver) {
  WizardFlags flags = Started();
  SelectionChanged(flags, true);
  ASSERT_TRUE(EnterOptions(flags));
  ASSERT_EQ(BeginFinish(flags), FinishAction::kStartDump);
  EXPECT_TRUE(flags.panel3Visible);
  EXPECT_EQ(StateOf(flags), WizardState::kDumpRunning);
  EndFinish(flags, true);
  EXPECT_EQ(StateOf(flags), WizardState::kDumpOver);
  EXPECT_FALSE(flags.backVisible);
  EXPECT_FALSE(flags.nextVisible);
  EXPECT_TRUE(flags.finHintClose);
  // A second press closes the window and starts nothing.
  EXPECT_EQ(BeginFinish(flags), FinishAction::kCloseWindow);
}

TEST(WizardStates, ReportFileFailedLetsTheUserGoBackButNotDumpAgain) {
  WizardFlags flags = Started();
  SelectionChanged(flags, true);
  ASSERT_TRUE(EnterOptions(flags));
  ASSERT_EQ(BeginFinish(flags), FinishAction::kStartDump);
  EndFinish(flags, false);
  EXPECT_EQ(StateOf(flags), WizardState::kReportFileFailed);
  EXPECT_TRUE(flags.backVisible);
  EXPECT_TRUE(flags.backEnabled);
  EXPECT_FALSE(flags.nextEnabled);
  EXPECT_TRUE(flags.finHintClose);

  // Back: the process page, with Panel3 still marked visible inside the hidden Panel2.
  BackToProcesses(flags);
  EXPECT_EQ(StateOf(flags), WizardState::kChoosingProcess);
  EXPECT_TRUE(flags.panel3Visible);
  EXPECT_FALSE(flags.nextEnabled);

  // Select and Next: the options page stays covered by the text pane; Finish closes.
  SelectionChanged(flags, true);
  ASSERT_TRUE(EnterOptions(flags));
  EXPECT_EQ(StateOf(flags), WizardState::kReportFileFailed);
  EXPECT_EQ(BeginFinish(flags), FinishAction::kCloseWindow);
}

TEST(WizardStates, FinishWithoutARowDoesNothing) {
  WizardFlags flags = Started();
  ShowPage(flags, kOptionsPage);
  EXPECT_EQ(BeginFinish(flags), FinishAction::kNothing);
  EXPECT_FALSE(flags.panel3Visible);
  EXPECT_EQ(StateOf(flags), WizardState::kOptions);
}

TEST(WizardStates, StateNames) {
  EXPECT_STREQ(WizardStateName(WizardState::kDumpOver), "DumpOver");
  EXPECT_STREQ(WizardStateName(WizardState::kReportFileFailed), "ReportFileFailed");
}

}  // namespace
