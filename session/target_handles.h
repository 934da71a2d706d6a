// What the platform tells of a handle of the target: the handle is duplicated into the tool
// and the object manager is asked for the object's type and name; a thread or process
// object gives its id, a mutant its owner where the platform keeps one (Windows; Wine
// refuses the owner class).
#pragma once

#include <stdint.h>

#include "session/platform.h"

struct TargetHandle {
  uint32_t error = 0;        // nonzero: the handle could not be duplicated, for this reason
  char type[32] = {};        // the object type as the platform names it: "Event", "Mutant", ...
  char name[260] = {};       // the object's name without its directory, ANSI; empty: unnamed
  uint32_t threadId = 0;     // of a thread object
  uint32_t processId = 0;    // of a process object
  bool ownerKnown = false;   // of a mutant: the platform said who holds it
  uint32_t owner = 0;        // the holding thread's id, 0 when free
};

// False when the handle cannot be duplicated (out->error says why); the queries after the
// duplication may each fail and leave their fields empty.
bool DescribeTargetHandle(HANDLE process, uint32_t handle, TargetHandle* out);
