// Finding where the listing around an address starts: linear decoding from the start of the
// function, moved on one byte at a time until it lands on the address. Only instruction
// lengths matter here, so they are decoded without text, each address at most once.
#pragma once

#include <stdint.h>

#include <vector>

class CTarget;

// The instruction lengths of one listing, as Disassemble would find them, each decoded once.
// An instruction whose 64-byte code window is wholly readable is decoded from the target's
// cached pages; one cut short by unreadable memory is decoded as Disassemble reads it, so that
// the count read decides as it does there.
class CInstructionLengths {
 public:
  // Remembers the lengths of the count addresses from low on; others are decoded every time.
  CInstructionLengths(const CTarget& target, uint32_t low, uint32_t count);

  // False: the instruction at address cannot be read.
  bool Length(uint32_t address, uint32_t* length);
  uint32_t decodes() const { return decodeCount; }
  const CTarget& target() const { return stopped; }

 private:
  bool Decode(uint32_t address, uint32_t* length);

  const CTarget& stopped;
  uint32_t low;
  std::vector<int8_t> known;  // per address from low: 0 not yet decoded, -1 unreadable, else the length
  uint32_t decodeCount = 0;
};

// Where a listing starts and which instruction is the one at the address.
struct ListingStart {
  uint32_t start = 0;
  int32_t index = 0;
};

// The first start from start on (one byte further each time) whose linear decoding over
// span bytes meets address at an instruction boundary. The search gives up after the start
// at the address itself, which succeeds unless the span from there passes 0xFFFFFFFF.
//
// The window of an address without a symbol (50 bytes back, 100 long) begins at a byte that
// no symbol holds and that may lie inside an instruction, and a wrong start can still meet the address after a few
// lines that are not the program's code. There the search begins instead at the first
// instruction boundary of the window that the linear decoding of the whole code section
// (CCodeBoundaries) found, and keeps the window's end; where the address lies in no module's
// code section, or the section's decoding does not reach it, the plain rule stands.
bool FindListingStart(CInstructionLengths& lengths, uint32_t start, uint32_t span, uint32_t address,
                      ListingStart* found);

// The addresses FindListingStart may decode, for sizing the lengths it remembers.
void ListingSearchRange(uint32_t start, uint32_t span, uint32_t address, uint32_t* low, uint32_t* count);
