#include "session/target_memory.h"

bool CTargetMemory::Read(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve) {
  uint32_t ignored = 0;
  if (bytesRead == nullptr) bytesRead = &ignored;
  if (cacheEnabled && size > 0 && size <= PageCache::kLargestRequest) {
    return pages.ReadWithRetry(process, address, buffer, size, bytesRead, halve);
  }
  return ReadUncached(address, buffer, size, bytesRead, halve);
}

bool CTargetMemory::ReadUncached(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve) {
  uint32_t ignored = 0;
  if (bytesRead == nullptr) bytesRead = &ignored;
  for (;;) {
    if (ReadStraight(address, buffer, size, bytesRead)) return true;
    if (size <= 8) return false;
    if (halve) {
      size /= 2;
    } else {
      address += 8;
      size -= 8;
    }
  }
}

bool CTargetMemory::ReadStraight(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead) {
  ++platformReads;
  SIZE_T count = 0;
  BOOL ok = ReadProcessMemory(process, TargetPointer(address), buffer, size, &count);
  *bytesRead = static_cast<uint32_t>(count);
  return ok != FALSE;
}

uint32_t CTargetMemory::ReadPrefix(uint32_t address, void* buffer, uint32_t size, bool keep) {
  return Served([&](PageCache& cache) { return cache.ReadPrefix(process, address, buffer, size, keep); });
}

bool CTargetMemory::ReadExactly(uint32_t address, void* buffer, uint32_t size, bool keep) {
  return Served([&](PageCache& cache) { return cache.ReadExactly(process, address, buffer, size, keep); });
}
