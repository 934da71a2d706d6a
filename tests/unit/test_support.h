// Shared pieces of the host tests: a text pane that records its lines, a scratch folder,
// and a session over the simulated target.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "report/report.h"
#include "session/log_file.h"
#include "sim/sim.h"

struct LineRecorder {
  std::vector<std::string> lines;
  TextPane pane{&LineRecorder::Append, this};
  static void Append(void* context, const char* line) { static_cast<LineRecorder*>(context)->lines.push_back(line); }
};

inline std::string ScratchDir() {
  char pattern[] = "/tmp/tarnholm-test-XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir ? dir : "/tmp";
}

inline std::string ReadWholeFile(const std::string& path) {
  std::string text;
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return text;
  char chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
  fclose(file);
  return text;
}

// The code listing lines of one-byte nops from first to last, as the report prints them.
inline std::string NopLines(DWORD first, DWORD last) {
  std::string lines;
  char line[64];
  for (DWORD at = first; at <= last; ++at) {
    snprintf(line, sizeof line, "        %08x 90               nop\r\n", static_cast<unsigned>(at));
    lines += line;
  }
  return lines;
}

// The report without its wait-chain section: from its heading to the empty line that ends
// it. The rest of the report must be what it was before the section came.
inline std::string WithoutWaitChains(const std::string& report) {
  const size_t start = report.find("*----> Wait Chains <----*\r\n");
  if (start == std::string::npos) return report;
  const size_t end = report.find("\r\n\r\n", start + 26);
  return end == std::string::npos ? report : report.substr(0, start) + report.substr(end + 4);
}

// A fresh simulated world and a session whose report goes to a scratch file.
struct SessionFixture {
  LineRecorder log;
  std::string dir = ScratchDir();
  std::string reportPath = dir + "/report.txt";
  std::unique_ptr<CLogFile> session;

  SessionFixture() {
    sim::Reset();
    session.reset(new CLogFile(reportPath.c_str(), log.pane));
    session->AddListener(ReportListener());
    session->process = sim::target().processHandle;
    sim::target().symbolsActive = true;
  }
  std::string Report() {
    session.reset();  // closes the file
    return ReadWholeFile(reportPath);
  }
};
