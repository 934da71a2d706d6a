#include "session/region_walk.h"

namespace {

constexpr uint32_t kPageSize = 0x1000;

uint32_t HighestApplicationAddress() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  return TargetAddress(system.lpMaximumApplicationAddress);
}

}  // namespace

bool QueryRegion(HANDLE process, uint32_t address, MEMORY_BASIC_INFORMATION& region) {
  return VirtualQueryEx(process, TargetPointer(address), &region, sizeof region) == sizeof region;
}

RegionWalk::RegionWalk(HANDLE process) : process_(process), end_(HighestApplicationAddress()) {}

bool RegionWalk::MoveTo(uint32_t next) {
  // A wrap or an empty region: the walk would not move on.
  if (next <= address_) {
    ended_ = true;
    return false;
  }
  address_ = next;
  return true;
}

bool RegionWalk::StepOver(const MEMORY_BASIC_INFORMATION& region) {
  return MoveTo(TargetAddress(region.BaseAddress) + static_cast<uint32_t>(region.RegionSize));
}

bool RegionWalk::StepToNextPage() { return MoveTo((address_ & ~(kPageSize - 1)) + kPageSize); }

bool RegionWalk::Next(MEMORY_BASIC_INFORMATION& region) {
  if (AtEnd()) return false;
  if (!Query(region)) {
    ended_ = true;  // nothing further up can be asked either
    return false;
  }
  StepOver(region);
  return true;
}
