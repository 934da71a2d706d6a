// A module of the simulated target whose headers say where its code lies: a header page with
// the DOS and PE headers and two sections, .text (executable) and .data, and the code region
// itself filled with one-byte nops. Return addresses are only believed inside .text.
#pragma once

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "sim/sim.h"

namespace code_module {

inline void Put32(std::vector<BYTE>& bytes, uint32_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
}

// The module spans size bytes from base; .text runs from base + 0x1000 for textSize bytes,
// .data from there to the end.
inline void Add(const std::string& path, DWORD base, DWORD size, DWORD textSize) {
  sim::AddModule(path, base, size);
  std::vector<BYTE> headers(0x1000, 0);
  headers[0] = 'M';
  headers[1] = 'Z';
  const uint32_t nt = 0x80;
  Put32(headers, 0x3C, nt);
  Put32(headers, nt, 0x00004550);
  headers[nt + 4] = 0x4C;
  headers[nt + 5] = 0x01;
  headers[nt + 6] = 2;      // sections
  headers[nt + 20] = 0xE0;  // optional header size
  headers[nt + 24] = 0x0B;
  headers[nt + 25] = 0x01;
  const uint32_t table = nt + 24 + 0xE0;
  const struct {
    const char* name;
    uint32_t start, size, flags;
  } sections[] = {{".text", 0x1000, textSize, 0x60000020}, {".data", 0x1000 + textSize, size - 0x1000 - textSize, 0xC0000040}};
  for (uint32_t i = 0; i < 2; ++i) {
    const uint32_t row = table + 40 * i;
    memcpy(&headers[row], sections[i].name, strlen(sections[i].name));
    Put32(headers, row + 8, sections[i].size);
    Put32(headers, row + 12, sections[i].start);
    Put32(headers, row + 36, sections[i].flags);
  }
  sim::AddRegion(base, 0x1000, PAGE_READONLY, MEM_IMAGE).bytes = headers;
  sim::AddRegion(base + 0x1000, textSize, PAGE_EXECUTE_READ, MEM_IMAGE).bytes.assign(textSize, 0x90);
  if (size > 0x1000 + textSize) sim::AddRegion(base + 0x1000 + textSize, size - 0x1000 - textSize, PAGE_READWRITE, MEM_IMAGE);
}

// call rel32 at at to target; returns the address after it.
inline DWORD CallDirect(DWORD at, DWORD target) {
  const DWORD rel = target - (at + 5);
  sim::Fill(at, {0xE8, static_cast<BYTE>(rel), static_cast<BYTE>(rel >> 8), static_cast<BYTE>(rel >> 16),
                 static_cast<BYTE>(rel >> 24)});
  return at + 5;
}

// call eax at at; returns the address after it.
inline DWORD CallRegister(DWORD at) {
  sim::Fill(at, {0xFF, 0xD0});
  return at + 2;
}

// call dword ptr [slot] at at; returns the address after it.
inline DWORD CallThrough(DWORD at, DWORD slot) {
  sim::Fill(at, {0xFF, 0x15, static_cast<BYTE>(slot), static_cast<BYTE>(slot >> 8), static_cast<BYTE>(slot >> 16),
                 static_cast<BYTE>(slot >> 24)});
  return at + 6;
}

}  // namespace code_module
