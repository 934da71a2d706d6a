// The bytes of one committed region into its dump file, a chunk at a time, so that no buffer
// as large as the region is ever needed. The file ends up exactly as the whole-region rule
// leaves it: the first RegionSize, RegionSize / 2, RegionSize / 4, ... bytes, whichever was
// the first of these that could be read whole (nothing when not even 8 bytes could).
#pragma once

#include <stdint.h>

#include "session/report_context.h"

constexpr uint32_t kRegionChunkSize = 1u << 20;

struct RegionFile {
  HANDLE handle;
  const char* name;  // for the failure lines
};

// Reads [base, base + size) through chunk (chunkSize bytes) and writes it to the file. A
// failed or short write ends the region with one Log line; the caller goes on with the next.
// False when the file is not as the rule wants it (every failure is logged and counted on
// the output).
bool CopyRegionToFile(const ReportContext& context, uint32_t base, uint32_t size, const RegionFile& file, uint8_t* chunk,
                      uint32_t chunkSize);
