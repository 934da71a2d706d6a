// The reads of the stopped target: one cache of its pages behind the plain reads, and the
// retry rule of the report's older readers. Owned by the session; the target view hands it on.
#pragma once

#include <stdint.h>

#include <utility>

#include "session/page_cache.h"
#include "session/platform.h"

class CTargetMemory {
 public:
  // process is the session's handle, which is set only once the target is known.
  explicit CTargetMemory(const HANDLE& process) : process(process) {}
  CTargetMemory(const CTargetMemory&) = delete;
  CTargetMemory& operator=(const CTargetMemory&) = delete;

  // Reads size bytes at address. After a failed try the request shrinks: halve keeps the
  // address and halves the size; otherwise the front moves up 8 bytes so the end stays.
  // A request of 8 bytes or fewer gets one try. bytesRead gets the count of the read that
  // succeeded (written from the start of buffer), or what the last failed try left there.
  bool Read(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve);
  // The same retry rule straight on the platform, leaving the cache alone: for the contents
  // of whole regions, which are read once and would only push the stack pages out.
  bool ReadUncached(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve);
  // The bytes from address on that can be read (their count), and exactly size bytes or
  // false. keep false is for bytes the reader holds itself, read once (a module's code, a
  // region's contents): they are read straight, in one platform read for ReadExactly.
  uint32_t ReadPrefix(uint32_t address, void* buffer, uint32_t size, bool keep = true);
  bool ReadExactly(uint32_t address, void* buffer, uint32_t size, bool keep = true);

  // Serve reads from whole pages read once (on by default).
  void SetCache(bool enabled) { cacheEnabled = enabled; }
  const PageCache& cache() const { return pages; }
  // The target is to run again, or is gone: nothing read so far stays true.
  void Clear() { pages.Clear(); }
  // ReadProcessMemory calls made so far, by every path.
  uint32_t PlatformReadCount() const { return platformReads + pages.platformReads(); }

 private:
  bool ReadStraight(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead);
  // read on the page cache; without it on a fresh one, as nothing is kept from one read to
  // the next, whose reads are counted here.
  template <typename Read>
  auto Served(Read read) -> decltype(read(std::declval<PageCache&>())) {
    if (cacheEnabled) return read(pages);
    PageCache single;
    const auto result = read(single);
    platformReads += single.platformReads();
    return result;
  }

  const HANDLE& process;
  bool cacheEnabled = true;
  uint32_t platformReads = 0;  // those made outside the cache
  PageCache pages;
};
