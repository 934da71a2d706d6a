// Shared by the back-trace tests: a session with one thread whose walk starts at given
// registers, and the frame lines of a trace.
#pragma once

#include <string>
#include <vector>

#include "report/back_trace.h"
#include "tests/unit/test_support.h"

struct TraceFixture : SessionFixture {
  CThreadContext thread{nullptr, 1};

  void Start(DWORD eip, DWORD esp, DWORD ebp) {
    thread.eip = thread.context.Eip = eip;
    thread.esp = thread.context.Esp = esp;
    thread.ebp = thread.context.Ebp = ebp;
  }
  std::string Trace() {
    WriteBackTrace(*session, thread);
    return Report();
  }
};

// The frame lines (the line after each column header).
inline std::vector<std::string> FrameLines(const std::string& text) {
  static const std::string header = "FramePtr ReturnAd Param#1  Param#2  Param#3  Param#4  Function Name\r\n";
  std::vector<std::string> lines;
  for (size_t at = text.find(header); at != std::string::npos; at = text.find(header, at + 1)) {
    const size_t from = at + header.size();
    lines.push_back(text.substr(from, text.find("\r\n", from) - from));
  }
  return lines;
}
