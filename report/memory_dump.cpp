#include "report/memory_dump.h"

#include <stdio.h>
#include <string.h>

#include <memory>
#include <new>

#include "report/region_copy.h"
#include "report/region_guard.h"

namespace {

constexpr DWORD kAccessViolation = 0xC0000005;
constexpr DWORD kProtectModifiers = PAGE_GUARD | PAGE_NOCACHE;
constexpr uint32_t kPageSize = 4096;
constexpr size_t kFileNameCapacity = 260;

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
  uint8_t* chunk;  // the walk's one read buffer
  MEMORY_BASIC_INFORMATION info;
  bool queried = false;
  HANDLE file = INVALID_HANDLE_VALUE;
  char name[kFileNameCapacity] = {};

  void Release() {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
  }
};

bool OpenDumpFile(RegionStep& step, uint32_t base) {
  CLogFile& session = *step.session;
  step.file = session.CreateRegionFile(base);
  if (step.file == INVALID_HANDLE_VALUE) return false;
  // The name the failure lines give; the file itself was opened by its exact wide name.
  snprintf(step.name, sizeof step.name, "%s.%08X.bin", session.reportPath.c_str(), base);
  return true;
}

// Straight to the platform: a region is read once, and caching it would only evict pages.
void SaveRegion(RegionStep& step, uint32_t base, uint32_t size) {
  CopyRegionToFile(*step.session, base, size, RegionFile{step.file, step.name}, step.chunk, kRegionChunkSize);
}

void DumpRegion(RegionStep& step) {
  const MEMORY_BASIC_INFORMATION& info = step.info;
  uint32_t base = TargetAddress(info.BaseAddress);
  uint32_t size = static_cast<uint32_t>(info.RegionSize);
  char heading[128];
  snprintf(heading, sizeof heading, "*----> Commited Memory (0x%08X-%8u) %s %c <----*", base, size,
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
  std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[kRegionChunkSize]);
  if (!chunk) {
    session.Log("No memory for the %u-byte buffer of the memory walk (e=%d)", kRegionChunkSize,
                static_cast<int>(ERROR_NOT_ENOUGH_MEMORY));
    session.NoteFailedWrite();
    return;
  }
  RegionGuard guard;
  uint32_t address = 0;
  while (address < end) {
    RegionStep step{&session, address, chunk.get(), {}};
    DWORD code = 0;
    bool ran = guard.Run(QueryAndDump, &step, &code);
    if (!ran && code == kAccessViolation) session.Log("Can't read memory block %08X", address);
    if (!ran && step.file != INVALID_HANDLE_VALUE) session.NoteFailedWrite();  // its file stopped short
    step.Release();
    if (!step.queried) {
      // The platform knows nothing further up; asking again would only repeat the failure.
      if (ran) {
        session.Log("VirtualQueryEx(%08X) failed (e=%d): the memory walk ends here", address,
                    static_cast<int>(GetLastError()));
        return;
      }
      // Stopped inside the query: no region to step over, so the next page is asked next.
      uint32_t nextPage = (address & ~(kPageSize - 1)) + kPageSize;
      if (nextPage <= address) return;
      address = nextPage;
      continue;
    }
    uint32_t next = TargetAddress(step.info.BaseAddress) + static_cast<uint32_t>(step.info.RegionSize);
    if (next <= address) return;  // the last region reaches the top of the address space
    address = next;
  }
}
