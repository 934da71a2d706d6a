#include "session/page_cache.h"

bool PageCache::Read(HANDLE process, uint32_t address, void* buffer, uint32_t size) {
  ++reads;
  SIZE_T count = 0;
  return ReadProcessMemory(process, TargetPointer(address), buffer, size, &count) != FALSE;
}

void PageCache::Clear() { reads = 0; }
