#include <gtest/gtest.h>

#include "tools/cli/phase_times.h"

namespace {

// The attach and events exclude the symbol handler's start; the end of the target runs from
// the complete report to the end of the dump.
TEST(PhaseTimes, SpansBetweenTheEvents) {
  PhaseTimes times;
  const double at[] = {10.0, 10.25, 10.75, 11.0, 12.5, 12.625, 14.0, 14.0, 14.0, 14.125};
  for (int phase = 0; phase <= static_cast<int>(DumpPhase::kReportWritten); ++phase) {
    times.Note(static_cast<DumpPhase>(phase), at[phase]);
  }
  times.Note(DumpPhase::kAttaching, 13.0);  // a phase seen again keeps its first time
  times.Finish(14.5);
  EXPECT_EQ(times.Text(),
            "phase attach and events: 0.500 s\nphase symbol handler start: 0.500 s\n"
            "phase per-thread sections: 1.500 s\nphase symbol table: 0.125 s\nphase memory dump: 1.375 s\n"
            "phase minidump: 0.000 s\nphase report end: 0.125 s\nphase end of the target: 0.375 s\n"
            "phase total: 4.500 s\n");
}

// A dump refused before its report knows only its attach.
TEST(PhaseTimes, PhasesNeverReachedAreDashes) {
  PhaseTimes times;
  times.Note(DumpPhase::kAttaching, 1.0);
  times.Finish(1.5);
  EXPECT_EQ(times.Text(),
            "phase attach and events: -\nphase symbol handler start: -\nphase per-thread sections: -\n"
            "phase symbol table: -\nphase memory dump: -\nphase minidump: -\nphase report end: -\n"
            "phase end of the target: -\nphase total: 0.500 s\n");
}

}  // namespace
