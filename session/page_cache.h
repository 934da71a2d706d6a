// Whole pages of the stopped target, read once and kept, so that the shrinking retries of
// ReadTargetMemory cost no further platform reads.
#pragma once

#include <stdint.h>

#include "session/platform.h"

class PageCache {
 public:
  // One try of a read as the platform would answer it: all bytes or failure.
  bool Read(HANDLE process, uint32_t address, void* buffer, uint32_t size);
  void Clear();
  uint32_t platformReads() const { return reads; }

 private:
  uint32_t reads = 0;
};
