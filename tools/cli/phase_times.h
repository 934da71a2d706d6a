// Where the time of one dump went, from the dump's phase events: the companion prints it on
// stderr when TARNHOLM_STATS is set, for the benchmarks.
#pragma once

#include <string>

#include "session/dump_phase.h"

class PhaseTimes {
 public:
  // A phase event at the given time (seconds on any one clock); a phase seen again (a later
  // report of a keep-running dump never comes, but be safe) keeps its first time.
  void Note(DumpPhase phase, double seconds);
  // The end of the whole dump: after the target has ended or been left.
  void Finish(double seconds) { finished = seconds; }
  // One line per phase, "phase NAME: S.SSS s", and a total; phases never reached print
  // "-". Attach and events exclude the symbol handler's start.
  std::string Text() const;

 private:
  static constexpr int kPhases = static_cast<int>(DumpPhase::kReportWritten) + 1;
  double at[kPhases] = {};
  bool seen[kPhases] = {};
  double finished = -1;
  double Span(DumpPhase from, DumpPhase to, bool* known) const;
};
