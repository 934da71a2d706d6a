#include "report/memory_dump.h"

#include <stdio.h>
#include <string.h>

#include <new>

#include "report/region_guard.h"

namespace {

constexpr DWORD kAccessViolation = 0xC0000005;
constexpr DWORD kProtectModifiers = PAGE_GUARD | PAGE_NOCACHE;
// No 32-bit process can hold a region buffer this large next to its own code and data.
constexpr uint32_t kLargestRegionBuffer = 0x40000000;

// What the allocation was made with, not the current protection of its pages.
const char* ProtectionText(DWORD allocationProtect) {
  switch (allocationProtect & ~kProtectModifiers) {
    case PAGE_READONLY: return "r--";
    case PAGE_READWRITE: return "rw-";
    case PAGE_WRITECOPY: return "-c-";
    case PAGE_EXECUTE: return "--x";
    case PAGE_EXECUTE_READ: return "r-x";
    case PAGE_EXECUTE_READWRITE: return "rwx";
    case PAGE_EXECUTE_WRITECOPY: return "rcx";
    default: return "---";
  }
}

char TypeLetter(DWORD type) {
  if (type == MEM_IMAGE) return 'I';
  if (type == MEM_MAPPED) return 'M';
  return 'P';
}

// One step of the walk. Everything it acquires lives here, so that a step stopped by an
// exception can still be cleaned up by the walk.
struct RegionStep {
  CLogFile* session;
  uint32_t address;
  MEMORY_BASIC_INFORMATION info;
  bool queried = false;
  HANDLE file = INVALID_HANDLE_VALUE;
  uint8_t* buffer = nullptr;

  void Release() {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    delete[] buffer;
    buffer = nullptr;
  }
};

bool OpenDumpFile(RegionStep& step, uint32_t base) {
  step.file = step.session->CreateRegionFile(base);
  return step.file != INVALID_HANDLE_VALUE;
}

void SaveRegion(RegionStep& step, uint32_t base, uint32_t size) {
  CLogFile& session = *step.session;
  if (size <= kLargestRegionBuffer) step.buffer = new (std::nothrow) uint8_t[size];
  if (step.buffer == nullptr) {
    session.Log("No memory to hold the region at %08X (%u bytes); its file stays empty", base, size);
    return;
  }
  // Straight to the platform: a region is read once, and caching it would only evict pages.
  uint32_t count = 0;
  if (session.ReadTargetMemoryUncached(base, step.buffer, size, &count, true)) {
    DWORD written = 0;
    WriteFile(step.file, step.buffer, count, &written, nullptr);
  }
}

void DumpRegion(RegionStep& step) {
  const MEMORY_BASIC_INFORMATION& info = step.info;
  uint32_t base = TargetAddress(info.BaseAddress);
  uint32_t size = static_cast<uint32_t>(info.RegionSize);
  char heading[128];
  snprintf(heading, sizeof heading, "*----> Commited Memory (0x%08X-%8d) %s %c <----*", base, static_cast<int>(size),
           ProtectionText(info.AllocationProtect), TypeLetter(info.Type));
  step.session->Log("%s", heading);
  step.session->Print("%s\r\n", heading);
  if (OpenDumpFile(step, base)) SaveRegion(step, base, size);
}

void QueryAndDump(void* context) {
  RegionStep& step = *static_cast<RegionStep*>(context);
  if (VirtualQueryEx(step.session->process, TargetPointer(step.address), &step.info, sizeof step.info) == 0) return;
  step.queried = true;
  if (step.info.State == MEM_COMMIT) DumpRegion(step);
}

}  // namespace

void DumpCommittedMemory(CLogFile& session) {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  uint32_t end = TargetAddress(system.lpMaximumApplicationAddress);
  RegionGuard guard;
  uint32_t address = 0;
  while (address < end) {
    RegionStep step{&session, address, {}};
    DWORD code = 0;
    bool ran = guard.Run(QueryAndDump, &step, &code);
    if (!ran && code == kAccessViolation) session.Log("Can't read memory block %08X", address);
    step.Release();
    if (!step.queried) {
      // The platform knows nothing further up; asking again would only repeat the failure.
      if (ran) {
        session.Log("VirtualQueryEx(%08X) failed (e=%d): the memory walk ends here", address,
                    static_cast<int>(GetLastError()));
      }
      return;
    }
    uint32_t next = TargetAddress(step.info.BaseAddress) + static_cast<uint32_t>(step.info.RegionSize);
    if (next <= address) return;  // the last region reaches the top of the address space
    address = next;
  }
}
