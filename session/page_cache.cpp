#include "session/page_cache.h"

#include <string.h>

#include <algorithm>

namespace {

constexpr uint64_t kAddressSpaceEnd = 0x100000000ull;
constexpr uint64_t kNothingUnreadable = ~0ull;
constexpr uint64_t kPageMask = PageCache::kPageSize - 1;
// Up to two pages cost no more to learn one by one than to try as a whole.
constexpr uint64_t kWholeTryMinimum = 2 * PageCache::kPageSize;
// Where an unkept range cannot be read whole, it is tried in pieces of this size.
constexpr uint32_t kUnkeptPiece = 0x10000;

// Addresses past the top are those of a request that wraps; the platform sees them modulo 2^32.
uint32_t PageOf(uint64_t address) { return static_cast<uint32_t>(address) / PageCache::kPageSize; }

}  // namespace

PageCache::PageState PageCache::Known(uint32_t page) const {
  const Slot& slot = slots[page % kSlotCount];
  return slot.page == page ? slot.state : PageState::Unknown;
}

PageCache::PageState PageCache::Learn(HANDLE process, uint32_t page) {
  PageState state = Known(page);
  if (state != PageState::Unknown) return state;
  Slot& slot = slots[page % kSlotCount];
  if (!slot.bytes) slot.bytes.reset(new uint8_t[kPageSize]);
  slot.page = page;
  slot.state = PageState::Unreadable;
  for (int attempt = 0; attempt < 2; ++attempt) {
    ++reads;
    SIZE_T count = 0;
    if (ReadProcessMemory(process, TargetPointer(page * kPageSize), slot.bytes.get(), kPageSize, &count)) {
      // Readable only at the second attempt: the first touched a guard page and cleared it.
      slot.state = attempt == 0 ? PageState::Readable : PageState::Guarded;
      break;
    }
  }
  return slot.state;
}

void PageCache::Store(uint32_t page, const uint8_t* bytes) {
  Slot& slot = slots[page % kSlotCount];
  if (!slot.bytes) slot.bytes.reset(new uint8_t[kPageSize]);
  memcpy(slot.bytes.get(), bytes, kPageSize);
  slot.page = page;
  slot.state = PageState::Readable;
}

// Pages that make a try of a whole request fail, or whose guard the cache must find itself.
bool PageCache::AnyKnownBad(uint32_t firstPage, uint32_t lastPage) const {
  for (uint32_t page = firstPage;; ++page) {
    const Slot& slot = slots[page % kSlotCount];
    PageState state = slot.page == page ? slot.state : PageState::Unknown;
    if (state == PageState::Unreadable || state == PageState::Guarded) return true;
    if (page == lastPage) return false;
  }
}

// A try reached the guard page: it failed there, and the page reads from now on.
void PageCache::TouchGuard(uint32_t page) {
  Slot& slot = slots[page % kSlotCount];
  if (slot.page == page && slot.state == PageState::Guarded) slot.state = PageState::Readable;
}

bool PageCache::AllKnown(uint32_t firstPage, uint32_t lastPage) const {
  for (uint32_t page = firstPage;; ++page) {
    if (Known(page) == PageState::Unknown) return false;
    if (page == lastPage) return true;
  }
}

// A request that succeeded whole tells the pages it covers completely.
void PageCache::KeepWholePages(uint32_t address, const uint8_t* bytes, uint32_t size) {
  uint64_t end = static_cast<uint64_t>(address) + size;
  for (uint64_t base = (address + kPageMask) & ~kPageMask; base + kPageSize <= end; base += kPageSize) {
    Store(PageOf(base), bytes + (base - address));
  }
}

void PageCache::CopyOut(uint32_t address, uint8_t* buffer, uint32_t size) const {
  uint32_t at = address;
  while (size > 0) {
    const Slot& slot = slots[(at / kPageSize) % kSlotCount];
    uint32_t offset = at % kPageSize;
    uint32_t chunk = std::min(size, kPageSize - offset);
    memcpy(buffer, slot.bytes.get() + offset, chunk);
    buffer += chunk;
    at += chunk;
    size -= chunk;
  }
}

// The first page a read from address to end (at most the top of memory) stops at: the pages
// are learned upwards, as the read would touch them, up to the first that fails.
uint64_t PageCache::FirstBadFrom(HANDLE process, uint32_t address, uint64_t end) {
  for (uint64_t base = address & ~kPageMask; base < end; base += kPageSize) {
    PageState state = Learn(process, PageOf(base));
    if (state == PageState::Unreadable || state == PageState::Guarded) return base;
  }
  return kNothingUnreadable;
}

// The end of the highest unreadable page in [address, end), or address when there is none;
// every page above it is known afterwards. Addresses at or past the top stand for the wrapped
// low ones.
uint64_t PageCache::LastUnreadableEndBelow(HANDLE process, uint64_t address, uint64_t end) {
  for (uint64_t base = (end - 1) & ~kPageMask;; base -= kPageSize) {
    if (Learn(process, PageOf(base)) == PageState::Unreadable) return base + kPageSize;
    if (base <= address) return address;
  }
}

// Every try that starts below end fails; starting 8 bytes apart they reach each page in
// [address, end), and each guard page there is the first failing page of one of them. So each
// page is learned (which finds and clears a guard as that try would) and a guard found counts
// as touched.
void PageCache::Sweep(HANDLE process, uint64_t address, uint64_t end) {
  for (uint64_t base = address & ~kPageMask; base < end; base += kPageSize) {
    const uint32_t page = PageOf(base);
    if (Learn(process, page) == PageState::Guarded) TouchGuard(page);
  }
}

uint64_t PageCache::FirstGuardedFrom(uint64_t address, uint64_t end) const {
  for (uint64_t base = address & ~kPageMask; base < end; base += kPageSize) {
    if (Known(PageOf(base)) == PageState::Guarded) return base;
  }
  return kNothingUnreadable;
}

// The retry loop that halves its window: the count of the first window that reads, or 0.
uint32_t PageCache::KeepingStart(HANDLE process, uint32_t address, uint32_t size, bool triedWhole) {
  for (uint32_t window = triedWhole ? size / 2 : size;; window /= 2) {
    uint64_t windowEnd = static_cast<uint64_t>(address) + window;
    if (windowEnd <= kAddressSpaceEnd) {  // a window past the top fails without touching a page
      uint64_t bad = FirstBadFrom(process, address, windowEnd);
      if (bad == kNothingUnreadable) return window;
      TouchGuard(PageOf(bad));
    }
    if (window <= 8) return 0;
  }
}

// The retry loop that moves its front up 8 bytes a try. Every try that starts below the end of
// the highest unreadable page fails, and so does every window that wraps past the top; from
// there on each try fails at most at one guard page.
bool PageCache::KeepingEnd(HANDLE process, uint32_t address, uint32_t size, bool triedWhole, uint64_t* start,
                           uint32_t* count) {
  const uint64_t end = static_cast<uint64_t>(address) + size;
  uint32_t skip = triedWhole ? 8 : 0;
  for (;;) {
    const uint64_t front = address + static_cast<uint64_t>(skip);
    const bool wraps = front < kAddressSpaceEnd && end > kAddressSpaceEnd;  // fails untouched
    uint64_t from = wraps ? kAddressSpaceEnd : LastUnreadableEndBelow(process, front, end);
    if (from > front) {
      if (!wraps) Sweep(process, front, from - kPageSize);
      uint64_t next = skip + ((from - front + 7) & ~7ull);
      if (next >= size) return false;  // a request of 8 bytes or fewer failed on the way
      skip = static_cast<uint32_t>(next);
      continue;
    }
    uint64_t guarded = FirstGuardedFrom(front, end);
    if (guarded == kNothingUnreadable) {
      *start = front;
      *count = size - skip;
      return true;
    }
    TouchGuard(PageOf(guarded));
    if (size - skip <= 8) return false;
    skip += 8;
  }
}

bool PageCache::ReadOnce(HANDLE process, uint32_t address, void* buffer, uint32_t size) {
  ++reads;
  SIZE_T count = 0;
  return ReadProcessMemory(process, TargetPointer(address), buffer, size, &count) != FALSE;
}

// One try of the whole request where several pages are unknown and none is known to fail it:
// a readable stack range or export directory then costs one read. Its pages are kept.
bool PageCache::TryWhole(HANDLE process, uint32_t address, uint8_t* buffer, uint32_t size) {
  const uint64_t end = static_cast<uint64_t>(address) + size;
  if (end > kAddressSpaceEnd || size <= kWholeTryMinimum) return false;
  const uint32_t firstPage = PageOf(address), lastPage = PageOf(end - 1);
  if (AllKnown(firstPage, lastPage) || AnyKnownBad(firstPage, lastPage)) return false;
  if (!ReadOnce(process, address, buffer, size)) return false;
  KeepWholePages(address, buffer, size);
  return true;
}

// Page after page upwards, as one read would touch them, up to the first that cannot be read
// or the top of memory. A guard page reached here has had its guard cleared by this read.
uint32_t PageCache::PrefixFromPages(HANDLE process, uint32_t address, uint8_t* buffer, uint32_t size) {
  uint32_t done = 0;
  while (done < size) {
    const uint64_t at = static_cast<uint64_t>(address) + done;
    if (at >= kAddressSpaceEnd) break;
    const uint32_t page = PageOf(at);
    if (Learn(process, page) == PageState::Unreadable) break;
    TouchGuard(page);
    const uint32_t offset = static_cast<uint32_t>(at % kPageSize);
    const uint32_t chunk = std::min(size - done, kPageSize - offset);
    memcpy(buffer + done, slots[page % kSlotCount].bytes.get() + offset, chunk);
    done += chunk;
  }
  return done;
}

// Unkept: the whole range in one read; where that fails, pieces of kUnkeptPiece bytes, and the
// first piece that fails page by page.
uint32_t PageCache::PrefixUnkept(HANDLE process, uint32_t address, uint8_t* buffer, uint32_t size) {
  if (ReadOnce(process, address, buffer, size)) return size;
  uint32_t done = 0;
  while (done < size) {
    const uint32_t piece = std::min(size - done, kUnkeptPiece);
    const uint32_t at = address + done;
    if (static_cast<uint64_t>(at) + piece > kAddressSpaceEnd || !ReadOnce(process, at, buffer + done, piece)) {
      return done + PrefixFromPages(process, at, buffer + done, piece);
    }
    done += piece;
  }
  return done;
}

bool PageCache::AnyKnownUnreadable(uint32_t address, uint32_t size) const {
  const uint64_t end = static_cast<uint64_t>(address) + size;
  for (uint64_t base = address & ~kPageMask; base < end && base < kAddressSpaceEnd; base += kPageSize) {
    if (Known(PageOf(base)) == PageState::Unreadable) return true;
  }
  return false;
}

uint32_t PageCache::ReadPrefix(HANDLE process, uint32_t address, void* buffer, uint32_t size, bool keep) {
  if (size == 0) return 0;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  if (!keep) return PrefixUnkept(process, address, out, size);
  if (TryWhole(process, address, out, size)) return size;
  return PrefixFromPages(process, address, out, size);
}

bool PageCache::ReadExactly(HANDLE process, uint32_t address, void* buffer, uint32_t size, bool keep) {
  if (size == 0) return true;
  if (!keep) return ReadOnce(process, address, buffer, size);
  if (AnyKnownUnreadable(address, size)) return false;
  return ReadPrefix(process, address, buffer, size) == size;
}

bool PageCache::ReadWithRetry(HANDLE process, uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead,
                              bool halve) {
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint64_t end = static_cast<uint64_t>(address) + size;
  uint32_t firstPage = PageOf(address), lastPage = PageOf(end - 1);
  // One try of the whole request, as the retry loop would make it, unless the pages already
  // know its fate; a stack range that is readable whole then costs one read.
  bool triedWhole = false;
  if (end <= kAddressSpaceEnd && size > kWholeTryMinimum && !AllKnown(firstPage, lastPage) &&
      !AnyKnownBad(firstPage, lastPage)) {
    ++reads;
    SIZE_T count = 0;
    if (ReadProcessMemory(process, TargetPointer(address), buffer, size, &count)) {
      KeepWholePages(address, out, size);
      *bytesRead = size;
      return true;
    }
    triedWhole = true;
  }

  uint64_t start = address;
  uint32_t count = 0;
  if (halve) {
    count = KeepingStart(process, address, size, triedWhole);
  } else if (!KeepingEnd(process, address, size, triedWhole, &start, &count)) {
    count = 0;
  }
  *bytesRead = 0;
  if (count == 0) return false;
  CopyOut(static_cast<uint32_t>(start), out, count);
  *bytesRead = count;
  return true;
}

void PageCache::Clear() {
  for (Slot& slot : slots) {
    slot.state = PageState::Unknown;
    slot.bytes.reset();
  }
}

uint32_t PageCache::pagesHeld() const {
  uint32_t held = 0;
  for (const Slot& slot : slots) held += slot.state == PageState::Readable ? 1 : 0;
  return held;
}
