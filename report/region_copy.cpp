#include "report/region_copy.h"

#include <algorithm>

namespace {

// A read of 8 bytes or fewer that fails is the rule's last try.
constexpr uint32_t kSmallestRetried = 8;

// A short write is tried on with the rest: the call that then fails names the cause.
bool WriteChunk(const RegionFile& file, const uint8_t* bytes, uint32_t count, uint32_t* inFile, DWORD* error) {
  while (count > 0) {
    DWORD written = 0;
    BOOL ok = WriteFile(file.handle, bytes, count, &written, nullptr);
    *inFile += written;
    if (!ok || written == 0) {
      *error = ok ? ERROR_HANDLE_DISK_FULL : GetLastError();  // nothing written, yet no error code
      return false;
    }
    bytes += written;
    count -= written;
  }
  return true;
}

// Drops what was written past count: bytes of a longer try that turned out unreadable further on.
bool CutFile(CReportOutput& report, const RegionFile& file, uint32_t count) {
  // No region reaches 4 GiB, so a position of 0xFFFFFFFF is never asked for and that result
  // means failure.
  LONG high = 0;
  if (SetFilePointer(file.handle, static_cast<LONG>(count), &high, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
      SetEndOfFile(file.handle)) {
    return true;
  }
  report.Log("Dumpfile(%s) could not be cut to %u bytes (e=%d)", file.name, count, static_cast<int>(GetLastError()));
  report.NoteFailedWrite();
  return false;
}

}  // namespace

// The rule tries windows from base of size, size / 2, ... and keeps the first that reads whole.
// Here every window is read in chunks on top of what earlier windows already brought in (the
// readable prefix, already in the file): reads run upwards from base exactly as one read of the
// window would, so they stop at the same first unreadable page (and touch a guard page exactly
// when the single read would).
//
// Bytes are written before it is known whether the rule keeps them, so a write that fails
// does not end the region at once: the reads go on without writing until the rule's size is
// known, and when the file already holds that much it is cut to it and the region succeeds.
bool CopyRegionToFile(const ReportContext& context, uint32_t base, uint32_t size, const RegionFile& file, uint8_t* chunk,
                      uint32_t chunkSize) {
  CReportOutput& report = context.report;
  const CTarget& target = context.target;
  uint32_t prefix = 0;  // read from base (and written, as long as the writes succeed)
  uint32_t inFile = 0;
  bool writeFailed = false;
  DWORD writeError = 0;
  uint32_t window = size;
  for (;;) {
    bool whole = true;
    while (prefix < window) {
      uint32_t count = std::min(chunkSize, window - prefix);
      // Straight, one platform read each: a region's contents are read once and kept in its file.
      if (!target.ReadExactly(base + prefix, chunk, count, false)) {
        whole = false;
        break;
      }
      if (!writeFailed) writeFailed = !WriteChunk(file, chunk, count, &inFile, &writeError);
      prefix += count;
    }
    if (whole) break;
    if (window <= kSmallestRetried) {
      window = 0;
      break;
    }
    window /= 2;
  }
  if (writeFailed && inFile < window) {
    report.Log("Dumpfile(%s) write failed after %u bytes (e=%d)", file.name, inFile, static_cast<int>(writeError));
    report.NoteFailedWrite();
    return false;
  }
  return inFile == window || CutFile(report, file, window);
}
