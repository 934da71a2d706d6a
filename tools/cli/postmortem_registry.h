// The system's postmortem debugger setting: the AeDebug key's Debugger and Auto values, which
// the companion takes over on install and gives back on uninstall. What it replaced is kept,
// type and bytes or "was absent", in a key of the tool's own in the same registry view, and
// written there before anything of the system's changes: every step that is refused undoes
// the steps before it, so the registry is either as before or wholly as intended.
#pragma once

#include <string>
#include <vector>

#include "session/platform.h"

extern const wchar_t kAeDebugKey[];     // under HKEY_LOCAL_MACHINE
extern const wchar_t kToolKey[];        // the tool's own key, parent of the saved copy
extern const wchar_t kSavedAeDebugKey[];

// A value as the registry holds it, or none of that name.
struct StoredValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

// What an install or uninstall did: lines for stdout, and when it failed the reason (no line
// end) with the platform's error code.
struct PostmortemOutcome {
  bool done = false;
  std::vector<std::string> lines;
  std::string error;
  LONG code = ERROR_SUCCESS;
};

// Debugger = command (REG_SZ), Auto = "1" (REG_SZ). A second install replaces the command
// and keeps the values saved by the first.
PostmortemOutcome InstallPostmortem(const std::wstring& command);
// Puts back the saved values exactly (or removes what the install added) and removes the
// tool's own key. Without a saved copy there is nothing to do, which is no failure.
PostmortemOutcome UninstallPostmortem();
