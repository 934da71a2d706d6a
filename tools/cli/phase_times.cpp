#include "tools/cli/phase_times.h"

#include <stdio.h>

void PhaseTimes::Note(DumpPhase phase, double seconds) {
  const int index = static_cast<int>(phase);
  if (index < 0 || index >= kPhases || seen[index]) return;
  seen[index] = true;
  at[index] = seconds;
}

double PhaseTimes::Span(DumpPhase from, DumpPhase to, bool* known) const {
  const int a = static_cast<int>(from);
  const int b = static_cast<int>(to);
  *known = seen[a] && seen[b];
  return *known ? at[b] - at[a] : 0;
}

namespace {

void AddLine(std::string& text, const char* name, bool known, double seconds) {
  char line[96];
  if (known) {
    snprintf(line, sizeof line, "phase %s: %.3f s\n", name, seconds);
  } else {
    snprintf(line, sizeof line, "phase %s: -\n", name);
  }
  text += line;
}

}  // namespace

std::string PhaseTimes::Text() const {
  std::string text;
  bool handlerKnown = false;
  bool eventsKnown = false;
  const double handler = Span(DumpPhase::kSymbolHandlerStarting, DumpPhase::kSymbolHandlerStarted, &handlerKnown);
  const double events = Span(DumpPhase::kAttaching, DumpPhase::kReportStarting, &eventsKnown);
  AddLine(text, "attach and events", eventsKnown, events - handler);
  AddLine(text, "symbol handler start", handlerKnown, handler);
  struct Step {
    const char* name;
    DumpPhase from, to;
  };
  static const Step kSteps[] = {
      {"per-thread sections", DumpPhase::kReportStarting, DumpPhase::kThreadsWritten},
      {"symbol table", DumpPhase::kThreadsWritten, DumpPhase::kSymbolTableWritten},
      {"memory dump", DumpPhase::kSymbolTableWritten, DumpPhase::kMemoryDumped},
      {"minidump", DumpPhase::kMemoryDumped, DumpPhase::kMinidumpWritten},
      {"report end", DumpPhase::kMinidumpWritten, DumpPhase::kReportWritten},
  };
  for (const Step& step : kSteps) {
    bool known = false;
    const double seconds = Span(step.from, step.to, &known);
    AddLine(text, step.name, known, seconds);
  }
  const int written = static_cast<int>(DumpPhase::kReportWritten);
  AddLine(text, "end of the target", seen[written] && finished >= 0, finished - at[written]);
  const int attaching = static_cast<int>(DumpPhase::kAttaching);
  AddLine(text, "total", seen[attaching] && finished >= 0, finished - at[attaching]);
  return text;
}
