// What Finish does with the options page's choices: one dump session that creates the
// report only once the attach has succeeded, so a process that cannot be attached leaves an
// earlier report of the same name as it was.
#pragma once

#include <stdint.h>

#include <string>

#include "session/dump_options.h"
#include "session/text_pane.h"

// The options page's defaults: 16 instructions, the symbol table, the memory dump.
inline DumpOptions WizardDefaults() {
  DumpOptions options;
  options.instructionCount = 16;
  return options;
}

struct DumpChoices {
  std::wstring reportPath;  // as typed or chosen, possibly empty
  DumpOptions options = WizardDefaults();  // the page sets the instruction count and the symbol table
  uint32_t processId = 0;
};

// Runs the dump; the session's lines go to pane. False when the report was refused (its
// file could not be created, or its name or the files of an earlier dump beside it stand in
// the way): the wizard then lets the user go back. True otherwise, also after a failed
// attach, whose line is in the pane.
bool RunWizardDump(const DumpChoices& choices, TextPane& pane);
