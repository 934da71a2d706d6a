// One resource of a 32-bit PE image file, found by type and id in its resource directory:
// for the check of the built programs' application manifest (RT_MANIFEST resource 1).
// Every offset the file gives is checked against the file and its section, so a damaged
// or hostile file gives false, never a read outside it.
#pragma once

#include <stdint.h>

#include <vector>

#include "tools/pe_text.h"

constexpr uint32_t kPeResourceManifest = 24;  // RT_MANIFEST
constexpr uint32_t kPeManifestProcess = 1;    // CREATEPROCESS_MANIFEST_RESOURCE_ID

namespace pe_resource {

// The file offset of size bytes at rva, when they lie inside one section's raw data.
inline bool FileOffset(const std::vector<uint8_t>& image, const pe::Headers& headers, uint32_t rva, uint32_t size,
                       size_t* offset) {
  for (const IMAGE_SECTION_HEADER& section : headers.sections) {
    const uint32_t address = section.VirtualAddress;
    const uint32_t rawSize = section.SizeOfRawData;
    if (rva < address || rva - address >= rawSize) continue;
    const uint64_t inSection = rva - address;
    if (inSection + size > rawSize || section.PointerToRawData + inSection + size > image.size()) return false;
    *offset = static_cast<size_t>(section.PointerToRawData + inSection);
    return true;
  }
  return false;
}

// The entry of the resource directory at directory (a file offset) whose number is id, or
// with any id the first entry: its value, the offset from the resource root with the
// high bit telling a subdirectory. False without such an entry or outside the file.
inline bool Entry(const std::vector<uint8_t>& image, size_t directory, bool anyId, uint32_t id, uint32_t* value) {
  if (directory + 16 > image.size()) return false;
  const uint32_t named = PeWord16(image, directory + 12);
  const uint32_t numbered = PeWord16(image, directory + 14);
  const size_t first = directory + 16;
  // Named entries come first; a number is never a name.
  for (uint32_t i = anyId ? 0 : named; i < named + numbered; ++i) {
    const size_t entry = first + 8 * static_cast<size_t>(i);
    if (entry + 8 > image.size()) return false;
    if (anyId || PeWord32(image, entry) == id) {
      *value = PeWord32(image, entry + 4);
      return true;
    }
  }
  return false;
}

}  // namespace pe_resource

// The data of resource (type, id), its first language; false when the file is no 32-bit
// PE image, has no such resource, or any part of the way lies outside it.
inline bool FindPeResource(const std::vector<uint8_t>& image, uint32_t type, uint32_t id, std::vector<uint8_t>* data) {
  pe::Headers headers;
  if (!ReadPeHeaders(image, &headers)) return false;
  const IMAGE_DATA_DIRECTORY* resources = headers.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE);
  if (resources == nullptr) return false;
  const uint32_t rootRva = resources->VirtualAddress;
  const uint32_t rootSize = resources->Size;
  size_t root = 0;
  if (rootRva == 0 || !pe_resource::FileOffset(image, headers, rootRva, rootSize, &root)) return false;

  // Three levels: type, id, language. Each offset stays within the resource directory.
  uint32_t value = 0;
  size_t directory = root;
  const uint32_t keys[] = {type, id, 0};
  for (int level = 0; level < 3; ++level) {
    if (!pe_resource::Entry(image, directory, level == 2, keys[level], &value)) return false;
    const bool subdirectory = (value & 0x80000000u) != 0;
    if (subdirectory != (level < 2)) return false;
    const uint32_t offset = value & 0x7FFFFFFFu;
    if (offset + 16ull > rootSize) return false;
    directory = root + offset;
  }
  // directory is now the 16-byte data entry: the data's address and size.
  size_t at = 0;
  const uint32_t size = PeWord32(image, directory + 4);
  if (!pe_resource::FileOffset(image, headers, PeWord32(image, directory), size, &at)) return false;
  data->assign(image.begin() + at, image.begin() + at + size);
  return true;
}
