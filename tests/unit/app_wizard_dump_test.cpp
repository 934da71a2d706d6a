// Finish's dump: the report is made only once the attach has succeeded, and which of the
// wizard's end states follows.
#include <gtest/gtest.h>

#include "app/wizard_dump.h"
#include "test_support.h"

namespace {

void Put(const std::string& path, const std::string& text) {
  FILE* file = fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  fputs(text.c_str(), file);
  fclose(file);
}

TEST(WizardDump, EachOutcomeKeepsItsLinesAndTheEarlierReport) {
  struct Case {
    const char* name;
    const char* report;    // under the scratch folder; "" for an empty name
    bool attachAllowed;
    bool opened;           // RunWizardDump's result: Dump over (true) or Report file failed
    const char* line;      // the first line of the pane, after "%s" is the report's path
    bool attached;
    bool earlierKept;      // an earlier file of that name is left as it was
  };
  const Case cases[] = {
      {"attach refused", "/crash.txt", false, true, "Can't attach to process 1234 (e=5)", false, true},
      {"empty name", "", true, false, "File: creation failed (123)", false, true},
      {"no such folder", "/none/crash.txt", true, false, "File:%s creation failed (3)", true, true},
      {"dumped", "/crash.txt", true, true, nullptr, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    sim::AddModule("C:\\app\\prog.exe", 0x00400000, 0x1000);
    sim::AddThread(0x24);
    sim::AddRegion(0x00400000, 0x1000, PAGE_READONLY, MEM_IMAGE);
    sim::ScriptAttachEvents();
    sim::target().attachAllowed = c.attachAllowed;
    const std::string dir = ScratchDir();
    const std::string path = *c.report ? dir + c.report : "";
    const std::string earlier = dir + "/crash.txt";
    Put(earlier, "the earlier report");
    LineRecorder log;
    DumpChoices choices;
    choices.reportPath = sim::WideText(path);
    choices.options.instructionCount = 20;
    choices.options.symbolTableEnabled = false;
    choices.processId = 1234;
    EXPECT_EQ(RunWizardDump(choices, log.pane), c.opened);
    ASSERT_FALSE(log.lines.empty());
    if (c.line != nullptr) {
      std::string expected = c.line;
      const size_t at = expected.find("%s");
      if (at != std::string::npos) expected.replace(at, 2, path);
      EXPECT_EQ(log.lines[0], expected);
    }
    EXPECT_EQ(sim::Calls("DebugActiveProcess") == 1 && c.attachAllowed, c.attached);
    EXPECT_EQ(ReadWholeFile(earlier) == "the earlier report", c.earlierKept);
    // A refused report after the attach lets the target go on; only a dump ends it.
    EXPECT_EQ(sim::target().terminated, c.attached && c.opened);
  }
}

// The options reach the session: the count of instructions before the instruction pointer
// and the symbol table's choice.
TEST(WizardDump, TheOptionsReachTheReport) {
  for (bool symbols : {false, true}) {
    SCOPED_TRACE(symbols);
    sim::Reset();
    sim::AddModule("C:\\app\\prog.exe", 0x00400000, 0x1000);
    sim::AddThread(0x24);
    sim::AddRegion(0x00400000, 0x1000, PAGE_READONLY, MEM_IMAGE);
    sim::ScriptAttachEvents();
    const std::string path = ScratchDir() + "/crash.txt";
    LineRecorder log;
    DumpChoices choices;
    choices.reportPath = sim::WideText(path);
    choices.options.symbolTableEnabled = symbols;
    choices.processId = 1234;
    EXPECT_TRUE(RunWizardDump(choices, log.pane));
    EXPECT_EQ(ReadWholeFile(path).find("*----> Symbol Table") != std::string::npos, symbols);
  }
}

}  // namespace
