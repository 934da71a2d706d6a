// The headers of a PE image on the platform's own structures, from the image's bytes by
// offset: a module loaded in the target or an image file in memory, through whatever reads
// them. Each step checks what the image says before the next one relies on it, so a damaged
// or hostile image ends in a fault, never in a read outside what the reader gives.
//
// A reader is any callable bool(uint32_t offset, uint32_t size, void* out) that gives all of
// the bytes or false.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "session/platform.h"

static_assert(sizeof(IMAGE_DOS_HEADER) == 64, "IMAGE_DOS_HEADER");
static_assert(sizeof(IMAGE_FILE_HEADER) == 20, "IMAGE_FILE_HEADER");
static_assert(sizeof(IMAGE_OPTIONAL_HEADER32) == 224, "IMAGE_OPTIONAL_HEADER32");
static_assert(sizeof(IMAGE_SECTION_HEADER) == 40, "IMAGE_SECTION_HEADER");
static_assert(sizeof(IMAGE_EXPORT_DIRECTORY) == 40, "IMAGE_EXPORT_DIRECTORY");

namespace pe {

enum class Fault {
  kNone,
  kDosHeaderUnreadable,
  kNoMz,
  kNoPe,                // no signature and file header where the DOS header points
  kDamaged,             // more sections than the loader takes, or no room for the export entry
  kNot32Bit,            // the optional header is unreadable or not that of a 32-bit image
  kSectionsUnreadable,
};

// The loader's own limit.
constexpr uint32_t kMaxSections = 96;
// The signature and the file header: where the optional header starts.
constexpr uint32_t kNtFixedSize = offsetof(IMAGE_NT_HEADERS32, OptionalHeader);
// The optional header's fields up to and with the first data directory (the exports').
constexpr uint32_t kOptionalWithExports = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) + sizeof(IMAGE_DATA_DIRECTORY);

struct Headers {
  uint32_t ntOffset = 0;  // e_lfanew
  IMAGE_FILE_HEADER file;
  IMAGE_OPTIONAL_HEADER32 optional;  // zero beyond what the image holds
  uint32_t directoryCount = 0;       // data directories both named and held by the optional header
  std::vector<IMAGE_SECTION_HEADER> sections;

  Headers() {
    memset(&file, 0, sizeof file);
    memset(&optional, 0, sizeof optional);
  }
  // The data directory at index, or null when the image has none there.
  const IMAGE_DATA_DIRECTORY* Directory(uint32_t index) const {
    return index < directoryCount ? &optional.DataDirectory[index] : nullptr;
  }
};

// The DOS header, the signature and the file header.
template <typename Reader>
Fault ReadFileHeader(Reader& read, Headers* headers) {
  IMAGE_DOS_HEADER dos;
  if (!read(0, sizeof dos, &dos)) return Fault::kDosHeaderUnreadable;
  if (dos.e_magic != IMAGE_DOS_SIGNATURE) return Fault::kNoMz;
  headers->ntOffset = static_cast<uint32_t>(dos.e_lfanew);
  uint8_t fixed[kNtFixedSize];
  if (!read(headers->ntOffset, sizeof fixed, fixed)) return Fault::kNoPe;
  DWORD signature;
  memcpy(&signature, fixed, sizeof signature);
  if (signature != IMAGE_NT_SIGNATURE) return Fault::kNoPe;
  memcpy(&headers->file, fixed + sizeof signature, sizeof headers->file);
  return Fault::kNone;
}

// The 32-bit optional header, after ReadFileHeader: as much of it as the image holds, up to
// the sixteen data directories of the platform's structure.
template <typename Reader>
Fault ReadOptionalHeader(Reader& read, Headers* headers) {
  const uint32_t size = headers->file.SizeOfOptionalHeader;
  if (headers->file.NumberOfSections > kMaxSections || size < kOptionalWithExports) return Fault::kDamaged;
  const uint32_t held = std::min<uint32_t>(size, sizeof headers->optional);
  memset(&headers->optional, 0, sizeof headers->optional);
  if (!read(headers->ntOffset + kNtFixedSize, held, &headers->optional) ||
      headers->optional.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
    return Fault::kNot32Bit;
  }
  const uint32_t room = (held - offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory)) / sizeof(IMAGE_DATA_DIRECTORY);
  headers->directoryCount = std::min<uint32_t>({headers->optional.NumberOfRvaAndSizes, IMAGE_NUMBEROF_DIRECTORY_ENTRIES, room});
  return Fault::kNone;
}

// The section table, after ReadFileHeader: where the optional header's declared size ends.
template <typename Reader>
Fault ReadSectionTable(Reader& read, Headers* headers) {
  const uint64_t table = static_cast<uint64_t>(headers->ntOffset) + kNtFixedSize + headers->file.SizeOfOptionalHeader;
  headers->sections.resize(headers->file.NumberOfSections);
  const uint32_t bytes = static_cast<uint32_t>(headers->sections.size() * sizeof(IMAGE_SECTION_HEADER));
  if (table > 0xFFFFFFFFu || !read(static_cast<uint32_t>(table), bytes, headers->sections.data())) {
    headers->sections.clear();
    return Fault::kSectionsUnreadable;
  }
  return Fault::kNone;
}

// Where the section's code lies, relative to the image base and cut to the image's size:
// false for a section that holds no code or none inside the image.
inline bool ExecutableSpan(const IMAGE_SECTION_HEADER& section, uint32_t imageSize, uint32_t* start, uint32_t* end) {
  if ((section.Characteristics & (IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_CNT_CODE)) == 0) return false;
  const uint64_t size = section.Misc.VirtualSize != 0 ? section.Misc.VirtualSize : section.SizeOfRawData;
  if (section.VirtualAddress >= imageSize) return false;
  const uint64_t last = std::min<uint64_t>(section.VirtualAddress + size, imageSize);
  if (last <= section.VirtualAddress) return false;
  *start = section.VirtualAddress;
  *end = static_cast<uint32_t>(last);
  return true;
}

// Little-endian words of an image's bytes, as its arrays and its code hold them.
inline uint32_t Word16(const uint8_t* bytes) { return bytes[0] | bytes[1] << 8; }
inline uint32_t Word32(const uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// A reader over bytes held in memory (an image file, or the first page of a loaded image).
struct BytesReader {
  const uint8_t* bytes;
  size_t count;
  bool operator()(uint32_t offset, uint32_t size, void* out) const {
    if (offset > count || size > count - offset) return false;
    if (size != 0) memcpy(out, bytes + offset, size);
    return true;
  }
};

}  // namespace pe
