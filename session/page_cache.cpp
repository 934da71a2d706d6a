#include "session/page_cache.h"

#include <string.h>

#include <algorithm>

namespace {

constexpr uint64_t kAddressSpaceEnd = 0x100000000ull;
constexpr uint64_t kNothingUnreadable = ~0ull;
constexpr uint64_t kPageMask = PageCache::kPageSize - 1;
// Up to two pages cost no more to learn one by one than to try as a whole.
constexpr uint64_t kWholeTryMinimum = 2 * PageCache::kPageSize;

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
  ++reads;
  SIZE_T count = 0;
  bool ok = ReadProcessMemory(process, TargetPointer(page * kPageSize), slot.bytes.get(), kPageSize, &count) != FALSE;
  slot.page = page;
  slot.state = ok ? PageState::Readable : PageState::Unreadable;
  return slot.state;
}

void PageCache::Store(uint32_t page, const uint8_t* bytes) {
  Slot& slot = slots[page % kSlotCount];
  if (!slot.bytes) slot.bytes.reset(new uint8_t[kPageSize]);
  memcpy(slot.bytes.get(), bytes, kPageSize);
  slot.page = page;
  slot.state = PageState::Readable;
}

bool PageCache::AnyKnownUnreadable(uint32_t firstPage, uint32_t lastPage) const {
  for (uint32_t page = firstPage;; ++page) {
    if (Known(page) == PageState::Unreadable) return true;
    if (page == lastPage) return false;
  }
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

// Windows that keep their start succeed while they end at or below the first unreadable
// page; a window that runs past the top of the address space never does.
uint64_t PageCache::FirstUnreadableFrom(HANDLE process, uint32_t address, uint64_t end) {
  uint64_t stop = std::min(end, kAddressSpaceEnd);
  for (uint64_t base = address & ~kPageMask; base < stop; base += kPageSize) {
    if (Learn(process, PageOf(base)) == PageState::Unreadable) return base;
  }
  return end > kAddressSpaceEnd ? kAddressSpaceEnd : kNothingUnreadable;
}

// Windows that keep their end succeed once they start above the last unreadable page. When
// the end lies past the top, only windows wholly past it (wrapped to low memory) can.
uint64_t PageCache::LastUnreadableEndBelow(HANDLE process, uint32_t address, uint64_t end) {
  uint64_t floor = end > kAddressSpaceEnd ? std::max<uint64_t>(address, kAddressSpaceEnd) : address;
  for (uint64_t base = (end - 1) & ~kPageMask;; base -= kPageSize) {
    if (Learn(process, PageOf(base)) == PageState::Unreadable) return base + kPageSize;
    if (base <= floor) return floor;
  }
}

bool PageCache::ReadWithRetry(HANDLE process, uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead,
                              bool halve) {
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint64_t end = static_cast<uint64_t>(address) + size;
  uint32_t firstPage = PageOf(address), lastPage = PageOf(end - 1);
  // One try of the whole request, as the retry loop would make it, unless the pages already
  // know its fate; a stack range that is readable whole then costs one read.
  if (end <= kAddressSpaceEnd && size > kWholeTryMinimum && !AllKnown(firstPage, lastPage) &&
      !AnyKnownUnreadable(firstPage, lastPage)) {
    ++reads;
    SIZE_T count = 0;
    if (ReadProcessMemory(process, TargetPointer(address), buffer, size, &count)) {
      KeepWholePages(address, out, size);
      *bytesRead = size;
      return true;
    }
  }

  uint64_t start = address;
  uint32_t count = 0;
  if (halve) {
    uint64_t limit = FirstUnreadableFrom(process, address, end);
    for (uint32_t window = size; count == 0; window /= 2) {
      if (address + static_cast<uint64_t>(window) <= limit) count = window;
      else if (window <= 8) break;
    }
  } else {
    uint64_t from = LastUnreadableEndBelow(process, address, end);
    uint64_t steps = (from - address + 7) / 8;
    if (steps <= (size - 1) / 8) {
      start = address + 8 * steps;
      count = size - static_cast<uint32_t>(8 * steps);
    }
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
