// The debug privilege of the tool's own process. Enabled before any other process is opened,
// so that the process list, a look-up by name and the attach all see what an administrator
// may see (services and other users' processes included); it stays enabled for the tool's life.
#pragma once

#include <string>

// Enables SeDebugPrivilege for the tool's own token. Returns an empty text when the attach
// may be tried (a token that lacks the privilege is such a case), and otherwise the failure
// line for the text pane.
std::string EnableDebugPrivilege();
