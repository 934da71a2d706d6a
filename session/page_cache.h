// Whole pages of the stopped target, read once and kept: every read of the report goes
// through here, so that no reader keeps target memory of its own and the shrinking retries
// of ReadTargetMemory cost no further platform reads. The target does not run while a report
// is written, so a page read once stays true until Clear.
//
// Two plain calls serve most readers: the readable prefix of a range, and exactly a range.
// Reads are all or nothing per page, so the prefix ends at the first page that cannot be read.
// Bytes that their reader holds itself (a module's code, a region's contents) are read
// straight and not kept (keep false): read once, they would only push out the pages the report
// reads again.
//
// The retry rule itself (ReadWithRetry) is kept for the readers whose report text depends on
// which shrunken request succeeds first. The cache answers a whole retry sequence at once: it learns the pages the first request
// covers (one try of the whole request, then single pages as far as the outcome needs them)
// and works out which shrunken request would have been the first to succeed. Reads are all or
// nothing per page, so the result is the one the plain retry loop gives.
//
// Guard pages: a read that touches a guard page fails once and clears the guard. A page whose
// read fails is read a second time; when that succeeds the page is kept as Guarded: its bytes
// are known, and the first retry try that reaches it fails, as it would have on the target,
// which turns it Readable. Where the plain retry loop would touch a guard page the cache
// answers as the loop would, as long as the page stays in its slot.
//
// Bound: kSlotCount slots of one page each, direct-mapped by page number, so at most
// kSlotCount * kPageSize bytes of target memory (4 MiB: room for the biggest export directories of the system DLLs beside the stacks) are held; a page known unreadable
// takes a slot without data. A newer page evicts the one in its slot.
#pragma once

#include <stdint.h>

#include <memory>
#include <vector>

#include "session/platform.h"

class PageCache {
 public:
  static constexpr uint32_t kPageSize = 4096;
  static constexpr uint32_t kSlotCount = 1024;
  // Bigger first requests are not cached: the caller runs the retry loop on the platform.
  // The lower raw stack range (128 KiB) is the biggest request that profits.
  static constexpr uint32_t kLargestRequest = 0x20000;

  // The bytes from address on that can be read, at most size: their count, 0 when the first
  // byte cannot be read.
  uint32_t ReadPrefix(HANDLE process, uint32_t address, void* buffer, uint32_t size, bool keep = true);
  // All size bytes at address, or false. Unkept, one platform read.
  bool ReadExactly(HANDLE process, uint32_t address, void* buffer, uint32_t size, bool keep = true);

  // The retry rule of ReadTargetMemory for 1..kLargestRequest bytes.
  bool ReadWithRetry(HANDLE process, uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve);
  void Clear();
  uint32_t platformReads() const { return reads; }
  uint32_t pagesHeld() const;

 private:
  enum class PageState : uint8_t { Unknown, Readable, Unreadable, Guarded };
  struct Slot {
    uint32_t page = 0;  // page number (address / kPageSize)
    PageState state = PageState::Unknown;
    std::unique_ptr<uint8_t[]> bytes;  // kPageSize bytes once the slot has held a readable page
  };

  PageState Known(uint32_t page) const;
  PageState Learn(HANDLE process, uint32_t page);
  void Store(uint32_t page, const uint8_t* bytes);
  bool AnyKnownBad(uint32_t firstPage, uint32_t lastPage) const;
  void TouchGuard(uint32_t page);
  void Sweep(HANDLE process, uint64_t address, uint64_t end);
  bool AllKnown(uint32_t firstPage, uint32_t lastPage) const;
  void KeepWholePages(uint32_t address, const uint8_t* bytes, uint32_t size);
  void CopyOut(uint32_t address, uint8_t* buffer, uint32_t size) const;
  uint64_t FirstBadFrom(HANDLE process, uint32_t address, uint64_t end);
  uint64_t LastUnreadableEndBelow(HANDLE process, uint64_t address, uint64_t end);
  uint64_t FirstGuardedFrom(uint64_t address, uint64_t end) const;
  bool TryWhole(HANDLE process, uint32_t address, uint8_t* buffer, uint32_t size);
  bool ReadOnce(HANDLE process, uint32_t address, void* buffer, uint32_t size);
  bool AnyKnownUnreadable(uint32_t address, uint32_t size) const;
  uint32_t PrefixFromPages(HANDLE process, uint32_t address, uint8_t* buffer, uint32_t size);
  uint32_t PrefixUnkept(HANDLE process, uint32_t address, uint8_t* buffer, uint32_t size);
  uint32_t KeepingStart(HANDLE process, uint32_t address, uint32_t size, bool triedWhole);
  bool KeepingEnd(HANDLE process, uint32_t address, uint32_t size, bool triedWhole, uint64_t* start, uint32_t* count);

  std::vector<Slot> slots = std::vector<Slot>(kSlotCount);
  uint32_t reads = 0;  // every platform read, kept across Clear for the statistics
};
