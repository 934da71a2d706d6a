// A guard around one step of the committed-memory walk: an error exception raised by the
// tool's own code inside the step (an access violation above all) ends that step instead of
// the program, and the walk goes on with the next region. Exceptions raised in Windows code,
// which handles its own, and warnings or breakpoints pass untouched.
#pragma once

#include "session/platform.h"

class RegionGuard {
 public:
  typedef void (*Step)(void* context);

  RegionGuard();
  ~RegionGuard();
  RegionGuard(const RegionGuard&) = delete;
  RegionGuard& operator=(const RegionGuard&) = delete;

  // Runs step(context). True when it ran to its end; false when an exception stopped it,
  // with the exception code in *code. The step must keep what it owns in the context, since
  // an interrupted step is left without running its destructors.
  bool Run(Step step, void* context, DWORD* code);

 private:
  void* handler = nullptr;
};
