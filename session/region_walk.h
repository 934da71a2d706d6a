// The target's address space region by region, as the platform describes it: the one place
// that asks it about regions, for the memory dump, the guard pages kept for a target left
// running and the companion's committed total.
#pragma once

#include <stdint.h>

#include "session/platform.h"

// The region record at address; false when the platform refuses (GetLastError says why).
bool QueryRegion(HANDLE process, uint32_t address, MEMORY_BASIC_INFORMATION& region);

// From address 0 up to the highest application address the platform names.
class RegionWalk {
 public:
  explicit RegionWalk(HANDLE process);

  // The next region, the walk moved past it; false at the end or on a failed query.
  bool Next(MEMORY_BASIC_INFORMATION& region);

  // For a walk whose steps can be stopped by an exception, in two halves. Query asks for the
  // region at address(), StepOver then moves past it, or StepToNextPage past the page when
  // the query was stopped and gave no region. Both are false when the walk cannot move on
  // (it reached the top of the address space).
  bool Query(MEMORY_BASIC_INFORMATION& region) const { return QueryRegion(process_, address_, region); }
  bool StepOver(const MEMORY_BASIC_INFORMATION& region);
  bool StepToNextPage();

  bool AtEnd() const { return ended_ || address_ >= end_; }
  uint32_t address() const { return address_; }

 private:
  bool MoveTo(uint32_t next);

  HANDLE process_;
  uint32_t address_ = 0;
  uint32_t end_;
  bool ended_ = false;
};
