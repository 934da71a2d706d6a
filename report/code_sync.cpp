#include "report/code_sync.h"

#include <string.h>

#include "disasm/decoder.h"
#include "report/disassemble_target.h"
#include "session/target.h"
#include "session/symbol_service.h"

namespace {

constexpr uint32_t kWindow = disasm::kCodeWindowSize;
// Beyond this many addresses a search far from the usual case keeps no memory of lengths.
constexpr uint32_t kLargestRemembered = 1u << 20;

// Up to this address every instruction a pass decodes before the address ends below 2^32:
// decoding then only ever moves forward, and a pass that has gone past the address is lost.
constexpr uint32_t kHighestForwardAddress = 0xFFFFFFFFu - (kWindow - 1);

bool MovesForward(uint32_t start, uint32_t address) { return start <= address && address <= kHighestForwardAddress; }

// The span of a window without a symbol's size (an address without a symbol among them).
constexpr uint32_t kUnsizedSpan = 100;
// Sections are decoded in reads of this many bytes (and the code window of the last
// instructions); bigger sections than kLargestSweptSection are left to the plain rule.
constexpr uint32_t kSweepChunk = 0x10000;
constexpr uint32_t kLargestSweptSection = 16u << 20;

// Decodes the section on from sweep.reached until it has passed upTo, the section ends, or
// the code can no longer be read or decoded. Only instructions whose whole code window was
// read are decoded: a window cut by the end of a read is decoded with the next read.
void AdvanceSweep(const CTarget& target, CodeSweep& sweep, uint32_t upTo) {
  std::vector<uint8_t> chunk;
  const uint32_t size = sweep.end - sweep.start;
  while (!sweep.stopped && sweep.reached - sweep.start < size && sweep.reached - sweep.start <= upTo - sweep.start) {
    const uint32_t from = sweep.reached;
    uint64_t want = kSweepChunk + kWindow;
    if (from + want > 0x100000000ull) want = 0x100000000ull - from;
    chunk.resize(static_cast<size_t>(want));
    uint32_t count = 0;
    // Past the cache: a section read once would only push the pages the report reads again out.
    // The halving retry finds the readable front in as few reads as the sweep needs.
    target.ReadUncached(from, chunk.data(), static_cast<uint32_t>(want), &count, true);
    uint32_t cursor = 0;
    while (cursor + kWindow <= count && from + cursor - sweep.start < size) {
      uint32_t length = 0;
      if (!DecodeLength(chunk.data() + cursor, kWindow, &length) || length == 0) break;
      const uint32_t offset = from + cursor - sweep.start;
      sweep.boundaries[offset >> 3] |= static_cast<uint8_t>(1u << (offset & 7));
      cursor += length;
    }
    sweep.reached = from + cursor;
    if (cursor == 0) sweep.stopped = true;  // nothing more could be read or decoded here
  }
}

// The first instruction boundary of the section's decoding from `from` (or from the
// section's start, when that lies above it) up to the address.
bool KnownBoundary(const CTarget& target, uint32_t from, uint32_t address, uint32_t* boundary) {
  uint32_t start = 0, end = 0;
  if (!target.images().SectionAt(address, &start, &end) || end - start > kLargestSweptSection) {
    return false;
  }
  CodeSweep& sweep = target.codeBoundaries().SweepOf(start, end);
  AdvanceSweep(target, sweep, address);
  const uint32_t first = from - start <= address - start ? from : start;
  for (uint32_t at = first; at - start < sweep.reached - start && at - first <= address - first; ++at) {
    if (sweep.IsBoundary(at)) {
      *boundary = at;
      return true;
    }
  }
  return false;
}

// Whether the window starts at a byte no symbol holds: that of an address without a symbol
// (also when the search is for the call before a return address there). A window that a
// symbol holds starts at the symbol, or at the address or its call far past an export:
// boundaries all.
bool StartsAtUnknownByte(const CTarget& target, uint32_t start, uint32_t span) {
  if (span != kUnsizedSpan) return false;
  CSymbol symbol;
  return !target.symbols().LookUp(start, &symbol);
}

}  // namespace

CInstructionLengths::CInstructionLengths(const CTarget& owner, uint32_t lowAddress, uint32_t count)
    : stopped(owner), low(lowAddress), known(count, 0) {}

bool CInstructionLengths::Length(uint32_t address, uint32_t* length) {
  const uint32_t offset = address - low;
  if (offset >= known.size()) return Decode(address, length);
  int8_t& entry = known[offset];
  if (entry == 0) {
    uint32_t decoded = 0;
    entry = Decode(address, &decoded) ? static_cast<int8_t>(decoded) : -1;
  }
  if (entry < 0) return false;
  *length = static_cast<uint32_t>(entry);
  return true;
}

bool CInstructionLengths::Decode(uint32_t address, uint32_t* length) {
  ++decodeCount;
  uint8_t window[kWindow];
  const bool ok = stopped.ReadExactly(address, window, kWindow) ? DecodeLength(window, kWindow, length)
                                                                : DisassembleLength(stopped, address, length);
  // A length of 0 would keep a pass on the same address for ever.
  return ok && *length > 0 && *length <= kWindow;
}

void ListingSearchRange(uint32_t start, uint32_t span, uint32_t address, uint32_t* low, uint32_t* count) {
  if (MovesForward(start, address)) {
    // Passes that start span bytes or more before the address never reach it, and a pass
    // decodes nothing at or past the address. Whatever the symbol's size, only the addresses
    // nearest to the address are remembered: passes meet their chains there.
    *low = address - start >= span ? address - span + 1 : start;
    if (address - *low > kLargestRemembered) *low = address - kLargestRemembered;
    *count = address - *low;
    return;
  }
  const uint64_t reach = static_cast<uint64_t>(address - start) + span;
  *low = start;
  *count = reach < kLargestRemembered ? static_cast<uint32_t>(reach) : kLargestRemembered;
}

namespace {

// One search: the passes share the lengths and the addresses known to lead nowhere.
class CListingSearch {
 public:
  CListingSearch(CInstructionLengths& lengths, uint32_t start, uint32_t span, uint32_t address)
      : lengths(lengths), span(span), address(address), forward(MovesForward(start, address)) {
    uint32_t count = 0;
    ListingSearchRange(start, span, address, &low, &count);
    lost.assign(count, false);
  }

  // The pass from passStart, as the plain rule runs it, but stopped as soon as its outcome
  // is known: at the address, at an unreadable instruction, on an address already known to
  // lead to one, or (moving forward) past the address.
  bool Pass(uint32_t passStart, int32_t* index) {
    const uint32_t end = passStart + span;
    uint32_t cursor = passStart;
    int32_t n = 0;
    walked.clear();
    while (cursor < end) {
      if (cursor == address) {
        *index = n;
        return true;
      }
      if ((forward && cursor > address) || IsLost(cursor)) break;
      uint32_t length = 0;
      if (!lengths.Length(cursor, &length)) {
        MarkLost(cursor);
        break;
      }
      walked.push_back(cursor);
      cursor += length;
      ++n;
    }
    // Where a pass only ran out of its span, a later pass reaches further and may go on,
    // unless decoding moves forward and the address lies behind.
    if (cursor < end || forward) {
      for (uint32_t at : walked) MarkLost(at);
    }
    return false;
  }

 private:
  bool IsLost(uint32_t at) const {
    const uint32_t offset = at - low;
    return offset < lost.size() && lost[offset];
  }
  void MarkLost(uint32_t at) {
    const uint32_t offset = at - low;
    if (offset < lost.size()) lost[offset] = true;
  }

  CInstructionLengths& lengths;
  const uint32_t span;
  const uint32_t address;
  const bool forward;
  uint32_t low = 0;
  std::vector<bool> lost;
  std::vector<uint32_t> walked;
};

// The next start worth a pass, or false when the search is over. A pass can only meet the
// address when its span neither passes 0xFFFFFFFF (the pass is empty then) nor ends at or
// before the address.
bool NextStart(uint32_t& passStart, uint32_t span, uint32_t address) {
  for (;;) {
    const uint64_t end = static_cast<uint64_t>(passStart) + span;
    if (passStart > address && end + (kWindow - 1) <= 0xFFFFFFFFull) {
      // From above the address a pass only meets it by decoding round the top of memory,
      // which needs a cursor within one code window of the top before the span ends.
      passStart = static_cast<uint32_t>(0x100000000ull - (kWindow - 1) - span);
      continue;
    }
    if (end <= 0xFFFFFFFFull && address < end) return true;
    if (passStart == address) return false;
    if (end > 0xFFFFFFFFull) {
      // Every start up to the top is empty as well; below the address, so is every start up
      // to it.
      if (passStart < address) return false;
      passStart = 0;
    } else {
      passStart = address - span + 1;  // the first start whose span reaches past the address
    }
  }
}

bool SearchFrom(CInstructionLengths& lengths, uint32_t start, uint32_t span, uint32_t address, ListingStart* found) {
  if (span == 0) return false;  // every pass would be empty
  CListingSearch search(lengths, start, span, address);
  uint32_t passStart = start;
  while (NextStart(passStart, span, address)) {
    int32_t index = 0;
    if (search.Pass(passStart, &index)) {
      found->start = passStart;
      found->index = index;
      return true;
    }
    if (passStart == address) return false;
    ++passStart;
  }
  return false;
}

}  // namespace

bool FindListingStart(CInstructionLengths& lengths, uint32_t start, uint32_t span, uint32_t address,
                      ListingStart* found) {
  const CTarget& target = lengths.target();
  uint32_t boundary = 0;
  if (StartsAtUnknownByte(target, start, span) && KnownBoundary(target, start, address, &boundary) &&
      SearchFrom(lengths, boundary, start + span - boundary, address, found)) {
    return true;
  }
  return SearchFrom(lengths, start, span, address, found);
}
