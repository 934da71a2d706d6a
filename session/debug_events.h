// The target's debug events as the loop hands them on. The loop keeps the session's own
// tables and the target's run (continue, detach, end); what is made of an event beyond that
// belongs to its listeners: the report is one, registered by whoever runs the loop.
#pragma once

#include "session/platform.h"

class CLogFile;

// Each callback is optional; a listener names only the events it wants. They are called
// after the session has taken the event into its tables, while every thread of the target
// is stopped, in the order the listeners were added.
struct DebugEventListener {
  using Callback = void (*)(void* context, CLogFile& session, const DEBUG_EVENT& event);
  Callback onProcessCreated = nullptr;
  Callback onThreadCreated = nullptr;
  Callback onThreadExited = nullptr;  // its record is gone already
  Callback onModuleLoaded = nullptr;
  Callback onModuleUnloaded = nullptr;
  Callback onException = nullptr;
  Callback onProcessExited = nullptr;
  void* context = nullptr;
};
