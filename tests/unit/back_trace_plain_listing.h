// The code listing done the plain way: every pass of the search for the start disassembles
// its whole span with Disassemble, as the rule reads. The reference the fast listing is
// checked against, in the tests and in the benchmark. Like the fast one it gives up after
// the pass that starts at the address itself, which the plain rule would run past for ever
// when that pass is empty.
#pragma once

#include <stdint.h>

#include "report/disassemble_target.h"
#include "session/log_file.h"
#include "session/symbol_service.h"

// Returns the number of passes the search took.
inline uint32_t WritePlainCodeListing(CLogFile& session, const CThreadContext& thread, uint32_t address,
                                      uint64_t* decodes) {
  uint32_t start = address - 50, span = 100;
  CSymbol symbol;
  std::string name = "<nosymbols>";
  if (session.symbols.LookUp(address, &symbol)) {
    start = symbol.address;
    span = symbol.size != 0 ? symbol.size : 100;
    name = symbol.name;
  }
  session.Print("function: %s\r\n", name.c_str());

  char line[kListingLineSize];
  int64_t index = -1;
  uint32_t passes = 0;
  for (;; ++start) {
    ++passes;
    uint32_t cursor = start;
    int64_t n = 0;
    while (cursor < start + span) {
      if (cursor == address) index = n;
      ++*decodes;
      if (!Disassemble(session.target, thread, cursor, line, true)) break;
      ++n;
    }
    if (index >= 0 || start == address) break;
  }
  if (index >= 0) {
    const int64_t count = session.options.instructionCount;
    const int64_t first = index - count > 0 ? index - count : 0;
    const int64_t last = index + count;
    uint32_t cursor = start;
    for (int64_t i = 0; cursor < start + span; ++i) {
      ++*decodes;
      if (!Disassemble(session.target, thread, cursor, line, true)) break;
      if (i >= first) session.Print("        %s\r\n", line);
      if (i > last) break;
    }
  }
  session.Print("\r\n");
  return passes;
}
