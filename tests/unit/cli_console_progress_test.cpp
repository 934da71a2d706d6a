#include "tools/cli/console_progress.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// What the display wrote to stderr and what went to stdout as plain lines.
struct Console {
  std::string status;
  std::vector<std::string> lines;
  ConsoleProgress progress{&Console::Status, &Console::Line, this};
  static void Status(void* context, const char* text) { static_cast<Console*>(context)->status += text; }
  static void Line(void* context, const char* text) { static_cast<Console*>(context)->lines.push_back(text); }
};

// The session's text pane and progress events in the companion at a console.
struct ConsolePane {
  Console console;
  const CLogFile* session = nullptr;
  TextPane pane{&ConsolePane::Append, this};
  static void Append(void* context, const char* line) { static_cast<ConsolePane*>(context)->console.progress.OnLogLine(line); }
  static void Region(void* context, uint32_t base, uint32_t size) {
    ConsolePane& self = *static_cast<ConsolePane*>(context);
    self.console.progress.OnRegion(base, size, self.session->process);
  }
  DumpPhaseSink Sink() { return DumpPhaseSink{nullptr, this, &ConsolePane::Region}; }
};

// A region's event, then its heading line, as the memory dump sends them.
void Region(Console& console, uint32_t base, uint32_t size, const char* heading) {
  console.progress.OnRegion(base, size, sim::target().processHandle);
  console.progress.OnLogLine(heading);
}

TEST(ConsoleProgress, CountsTheCommittedRegionsAsTheWalkDoes) {
  sim::Reset();
  sim::AddRegion(0x00010000, 0x1000);
  sim::AddRegion(0x00400000, 0x3000, PAGE_READONLY, MEM_IMAGE);
  sim::AddRegion(0x00500000, 0x100000, PAGE_READWRITE, MEM_PRIVATE, MEM_RESERVE);
  sim::AddRegion(0x10000000, 0x200000, PAGE_NOACCESS);
  const CommittedTotal total = CountCommittedMemory(sim::target().processHandle);
  EXPECT_EQ(total.regions, 3u);
  EXPECT_EQ(total.bytes, 0x1000u + 0x3000u + 0x200000u);
}

// A failing query ends the count instead of looping.
TEST(ConsoleProgress, CountEndsWhereTheQueryFails) {
  sim::Reset();
  sim::AddRegion(0x00010000, 0x1000);
  sim::AddRegion(0x20000000, 0x1000);
  sim::target().queryFailsFrom = 0x00011000;
  EXPECT_EQ(CountCommittedMemory(sim::target().processHandle).regions, 1u);
}

// The whole display of a dump: the report is the same as with plain log lines, the region
// headings become the display, every other line is printed in order, and nothing of the
// display reaches the report.
TEST(ConsoleProgress, ADumpAtTheConsole) {
  std::string reports[2];
  std::vector<std::string> plainLines;
  ConsolePane console;
  for (int atConsole = 0; atConsole < 2; ++atConsole) {
    SessionFixture f;
    if (atConsole) {
      f.session.reset();
      f.session.reset(new CLogFile(f.reportPath.c_str(), console.pane));
      f.session->AddListener(ReportListener());
      f.session->phaseSink = console.Sink();
      f.session->process = sim::target().processHandle;
      console.session = f.session.get();
    }
    sim::target().symbolsActive = false;
    sim::AddModule("C:\\app\\prog.exe", 0x00400000, 0x3000);
    sim::AddThread(0x24);
    sim::AddRegion(0x00400000, 0x3000, PAGE_READONLY, MEM_IMAGE);
    sim::AddRegion(0x00600000, 0x200000);
    sim::AddRegion(0x10000000, 0x100000, PAGE_NOACCESS);
    sim::ScriptAttachEvents();
    f.session->options.symbolTableEnabled = false;
    EXPECT_TRUE(f.session->RunDebugLoop(1234));
    if (atConsole) {
      console.console.progress.Finish();
    } else {
      plainLines = f.log.lines;
    }
    reports[atConsole] = f.Report();
  }
  EXPECT_EQ(reports[0], reports[1]);
  ASSERT_EQ(plainLines.size(), 5u);  // process, module, three region headings
  EXPECT_EQ(console.console.lines, std::vector<std::string>(plainLines.begin(), plainLines.begin() + 2));
  EXPECT_EQ(console.console.status,
            "\rregions 0/3, 0.0/3.0 MiB"
            "\rregions 1/3, 0.0/3.0 MiB"
            "\rregions 2/3, 2.0/3.0 MiB"
            "\rregions 3/3, 3.0/3.0 MiB\n");
  EXPECT_EQ(reports[1].find("regions "), std::string::npos);
}

// A log line during the walk clears the display, is printed whole, and the display returns.
TEST(ConsoleProgress, ALineDuringTheWalk) {
  sim::Reset();
  sim::AddRegion(0x00010000, 0x100000);
  sim::AddRegion(0x00400000, 0x100000);
  Console console;
  Region(console, 0x00010000, 1048576, "*----> Commited Memory (0x00010000- 1048576) rw- P <----*");
  console.progress.OnLogLine("Dumpfile(r.00010000.bin) Failed 112");
  Region(console, 0x00400000, 1048576, "*----> Commited Memory (0x00400000- 1048576) rw- P <----*");
  console.progress.Finish();
  EXPECT_EQ(console.lines, std::vector<std::string>{"Dumpfile(r.00010000.bin) Failed 112"});
  EXPECT_EQ(console.status,
            "\rregions 0/2, 0.0/2.0 MiB"
            "\r                        \r"
            "\rregions 0/2, 0.0/2.0 MiB"
            "\rregions 1/2, 1.0/2.0 MiB"
            "\rregions 2/2, 2.0/2.0 MiB\n");
}

// Lines before any region, and a dump without regions, leave stderr untouched.
TEST(ConsoleProgress, NoDisplayWithoutRegions) {
  Console console;
  console.progress.OnLogLine("Can't attach to process 99 (e=87)");
  console.progress.Finish();
  EXPECT_EQ(console.lines, std::vector<std::string>{"Can't attach to process 99 (e=87)"});
  EXPECT_EQ(console.status, "");
}

// A minidump after the regions is the display's last step: its start line ends the last
// region, the line that tells how it went counts it.
TEST(ConsoleProgress, TheMinidumpIsAStep) {
  sim::Reset();
  sim::AddRegion(0x00010000, 0x100000);
  Console console;
  console.progress.CountMinidump();
  Region(console, 0x00010000, 1048576, "*----> Commited Memory (0x00010000- 1048576) rw- P <----*");
  console.progress.OnMinidumpStarting();
  console.progress.OnLogLine("Writing minidump r.txt.dmp (normal)");
  console.progress.OnLogLine("Minidump r.txt.dmp written");
  console.progress.Finish();
  EXPECT_EQ(console.lines, (std::vector<std::string>{"Writing minidump r.txt.dmp (normal)", "Minidump r.txt.dmp written"}));
  const std::string blank = "\r" + std::string(38, ' ') + "\r";
  EXPECT_EQ(console.status,
            "\rregions 0/1, 0.0/1.0 MiB, minidump 0/1" + blank +
            "\rregions 1/1, 1.0/1.0 MiB, minidump 0/1" + blank +
            "\rregions 1/1, 1.0/1.0 MiB, minidump 1/1"
            "\rregions 1/1, 1.0/1.0 MiB, minidump 1/1\n");
}

// Without a memory dump the minidump is the one step; a failure line ends it too.
TEST(ConsoleProgress, TheMinidumpAlone) {
  Console console;
  console.progress.CountMinidump();
  console.progress.OnLogLine("debug_event hProcess:124");
  console.progress.OnMinidumpStarting();
  console.progress.OnLogLine("Writing minidump r.dmp (full)");
  console.progress.OnLogLine("MiniDumpWriteDump failed (e=0x80070070); r.dmp removed");
  console.progress.Finish();
  EXPECT_EQ(console.lines.size(), 3u);
  EXPECT_EQ(console.status,
            "\rminidump 0/1\r            \r"
            "\rminidump 1/1"
            "\rminidump 1/1\n");
}

// Not counted (the wizard, or no --minidump): its lines are plain lines.
TEST(ConsoleProgress, AnUncountedMinidumpIsPlainLines) {
  Console console;
  console.progress.OnMinidumpStarting();
  console.progress.OnLogLine("Writing minidump r.dmp (full)");
  console.progress.OnLogLine("Minidump r.dmp written");
  console.progress.Finish();
  EXPECT_EQ(console.lines.size(), 2u);
  EXPECT_EQ(console.status, "");
}

}  // namespace

namespace {

// The display on a console stderr while stdout goes to a file: the region headings still
// reach stdout, in order among the other lines, and the display is drawn as before.
TEST(ConsoleProgress, RegionLinesKeptForAStdoutThatIsNoConsole) {
  sim::Reset();
  sim::AddRegion(0x00400000, 0x1000);
  sim::AddRegion(0x00500000, 0x2000);
  const char* lines[] = {"Attach C:\\app\\prog.exe Base=0x00400000",
                         "*----> Commited Memory (0x00400000-    4096) rw- P <----*",
                         "*----> Commited Memory (0x00500000-    8192) rw- P <----*", "Dumpfile(r.txt.00500000.bin) Failed 5"};
  for (bool keep : {false, true}) {
    Console console;
    console.progress.KeepRegionLines(keep);
    console.progress.OnLogLine(lines[0]);
    Region(console, 0x00400000, 4096, lines[1]);
    Region(console, 0x00500000, 8192, lines[2]);
    console.progress.OnLogLine(lines[3]);
    console.progress.Finish();
    if (keep) {
      EXPECT_EQ(console.lines, std::vector<std::string>(std::begin(lines), std::end(lines)));
    } else {
      EXPECT_EQ(console.lines, (std::vector<std::string>{lines[0], lines[3]}));
    }
    EXPECT_NE(console.status.find("regions 2/2, 0.0/0.0 MiB"), std::string::npos) << console.status;
  }
}

}  // namespace
