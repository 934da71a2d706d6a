#include "report/memory_dump.h"

#include <stdio.h>
#include <string.h>

#include <string>

#include "report/region_copy.h"
#include "report/region_guard.h"
#include "session/region_walk.h"

namespace {

constexpr DWORD kAccessViolation = 0xC0000005;
constexpr DWORD kProtectModifiers = PAGE_GUARD | PAGE_NOCACHE;
constexpr uint32_t kPageSize = 4096;
// Every 32-bit process has its user space up to here at least; a query refused with
// ERROR_INVALID_PARAMETER from here on has only met the top of the target's address space.
constexpr uint32_t kLowestUserSpaceTop = 0x7FFE0000;

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
  const ReportContext* context;
  const RegionWalk* walk;
  uint8_t* chunk;  // the walk's one read buffer
  uint32_t chunkSize;
  MEMORY_BASIC_INFORMATION info;
  bool queried = false;
  DWORD queryError = 0;
  HANDLE file = INVALID_HANDLE_VALUE;
  std::string name;  // whole, however long, for the failure lines

  void Release() {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
  }
};

bool OpenDumpFile(RegionStep& step, uint32_t base) {
  CReportOutput& report = step.context->report;
  step.file = report.CreateRegionFile(base);
  if (step.file == INVALID_HANDLE_VALUE) return false;
  // The name the failure lines give; the file itself was opened by its exact wide name.
  char suffix[16];
  snprintf(suffix, sizeof suffix, ".%08X.bin", base);
  step.name = report.reportPath + suffix;
  return true;
}

// Straight to the platform: a region is read once, and caching it would only evict pages.
void SaveRegion(RegionStep& step, uint32_t base, uint32_t size) {
  CopyRegionToFile(*step.context, base, size, RegionFile{step.file, step.name.c_str()}, step.chunk, step.chunkSize);
}

void DumpRegion(RegionStep& step) {
  const MEMORY_BASIC_INFORMATION& info = step.info;
  uint32_t base = TargetAddress(info.BaseAddress);
  uint32_t size = static_cast<uint32_t>(info.RegionSize);
  char heading[128];
  snprintf(heading, sizeof heading, "*----> Commited Memory (0x%08X-%8u) %s %c <----*", base, size,
           ProtectionText(info.AllocationProtect), TypeLetter(info.Type));
  CReportOutput& report = step.context->report;
  report.NoteRegion(base, size);
  report.Log("%s", heading);
  report.Print("%s\r\n", heading);
  if (OpenDumpFile(step, base)) SaveRegion(step, base, size);
}

void QueryAndDump(void* context) {
  RegionStep& step = *static_cast<RegionStep*>(context);
  if (!step.walk->Query(step.info)) {
    step.queryError = GetLastError();
    return;
  }
  step.queried = true;
  if (step.info.State == MEM_COMMIT) DumpRegion(step);
}

// The walk's read buffer: the largest that can be had, down to one page; the walk only reads
// in smaller pieces without it.
class WalkBuffer {
 public:
  explicit WalkBuffer(CReportOutput& report) {
    for (size = kRegionChunkSize; size > kPageSize; size /= 2) {
      bytes = static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
      if (bytes != nullptr) break;
      report.Log("No memory for a %u-byte buffer of the memory walk (e=%d); trying %u bytes", size,
                  static_cast<int>(GetLastError()), size / 2);
    }
    if (bytes == nullptr) {
      size = kPageSize;
      bytes = lastResort;
    }
  }
  ~WalkBuffer() {
    if (bytes != lastResort) VirtualFree(bytes, 0, MEM_RELEASE);
  }
  WalkBuffer(const WalkBuffer&) = delete;
  WalkBuffer& operator=(const WalkBuffer&) = delete;

  uint8_t* bytes = nullptr;
  uint32_t size = 0;

 private:
  uint8_t lastResort[kPageSize];
};

}  // namespace

void DumpCommittedMemory(const ReportContext& context) {
  CReportOutput& report = context.report;
  const CTarget& target = context.target;
  WalkBuffer chunk(report);
  RegionGuard guard;
  RegionWalk walk(target.process());
  while (!walk.AtEnd()) {
    const uint32_t address = walk.address();
    RegionStep step{&context, &walk, chunk.bytes, chunk.size, {}};
    DWORD code = 0;
    bool ran = guard.Run(QueryAndDump, &step, &code);
    if (!ran && code == kAccessViolation) report.Log("Can't read memory block %08X", address);
    if (!ran && step.file != INVALID_HANDLE_VALUE) report.NoteFailedWrite();  // its file stopped short
    step.Release();
    if (!step.queried) {
      // The platform knows nothing further up; asking again would only repeat the failure.
      if (ran) {
        const DWORD error = step.queryError;
        // Past the top of a target's address space the query is refused as an invalid
        // address: the walk's normal end. Anything else leaves the regions above unsaved.
        if (error == ERROR_INVALID_PARAMETER && address >= kLowestUserSpaceTop) return;
        report.Log("VirtualQueryEx(%08X) failed (e=%d): the memory walk ends here", address, static_cast<int>(error));
        report.NoteMemoryWalkCut();
        return;
      }
      // Stopped inside the query: no region to step over, so the next page is asked next.
      if (!walk.StepToNextPage()) return;
      continue;
    }
    if (!walk.StepOver(step.info)) return;  // the last region reaches the top of the address space
  }
}
