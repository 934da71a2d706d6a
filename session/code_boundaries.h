// Instruction boundaries of the modules' executable sections, found by decoding a section
// linearly from its start, once per section and report, as far as the listings have needed.
// A listing around an address without a symbol begins its decoding at one of them instead of
// at a byte a fixed distance back, which may lie inside an instruction. The decoding itself
// is the report's (report/code_sync); this holds what it found until Clear.
#pragma once

#include <stdint.h>

#include <deque>
#include <vector>

struct CodeSweep {
  uint32_t start = 0;    // the section, in the target
  uint32_t end = 0;
  uint32_t reached = 0;  // the next boundary to decode from; start at first
  bool stopped = false;  // an instruction could not be read or decoded at reached
  std::vector<uint8_t> boundaries;  // one bit per byte from start, below reached: an instruction starts there

  bool IsBoundary(uint32_t address) const {
    const uint32_t offset = address - start;
    return (boundaries[offset >> 3] >> (offset & 7)) & 1;
  }
};

class CCodeBoundaries {
 public:
  // The sweep of the section [start, end), begun (nothing decoded yet) at its first use.
  CodeSweep& SweepOf(uint32_t start, uint32_t end) {
    for (CodeSweep& sweep : sweeps)
      if (sweep.start == start && sweep.end == end) return sweep;
    sweeps.emplace_back();
    CodeSweep& sweep = sweeps.back();
    sweep.start = start;
    sweep.end = end;
    sweep.reached = start;
    sweep.boundaries.assign(((end - start) >> 3) + 1, 0);
    return sweep;
  }
  void Clear() { sweeps.clear(); }

 private:
  std::deque<CodeSweep> sweeps;  // references stay valid as sweeps are added
};
