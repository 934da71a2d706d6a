// One resource of a 32-bit PE image file, found by type and id in its resource directory:
// for the check of the built programs' application manifest (RT_MANIFEST resource 1).
// The tree is read on the platform's own records, each through a reader that checks it lies
// inside the file, and every offset the tree gives is checked against its section, so a
// damaged or hostile file gives false, never a read outside it.
#pragma once

#include <stdint.h>

#include <vector>

#include "tools/pe_text.h"

static_assert(sizeof(IMAGE_RESOURCE_DIRECTORY) == 16, "IMAGE_RESOURCE_DIRECTORY");
static_assert(sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY) == 8, "IMAGE_RESOURCE_DIRECTORY_ENTRY");
static_assert(sizeof(IMAGE_RESOURCE_DATA_ENTRY) == 16, "IMAGE_RESOURCE_DATA_ENTRY");

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
// with any id the first entry: its OffsetToData, the offset from the resource root with
// IMAGE_RESOURCE_DATA_IS_DIRECTORY telling a subdirectory. False without such an entry or
// outside the file.
inline bool Entry(const pe::BytesReader& read, uint32_t directory, bool anyId, uint32_t id, uint32_t* value) {
  IMAGE_RESOURCE_DIRECTORY header;
  if (!read(directory, sizeof header, &header)) return false;
  const uint32_t named = header.NumberOfNamedEntries;
  const uint32_t entries = named + header.NumberOfIdEntries;
  // Named entries come first; a number is never a name.
  for (uint32_t i = anyId ? 0 : named; i < entries; ++i) {
    IMAGE_RESOURCE_DIRECTORY_ENTRY entry;
    const uint32_t at = directory + static_cast<uint32_t>(sizeof header + i * sizeof entry);
    if (!read(at, sizeof entry, &entry)) return false;
    if (anyId || entry.Name == id) {
      *value = entry.OffsetToData;
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
  const pe::BytesReader read{image.data(), image.size()};
  uint32_t value = 0;
  uint32_t directory = static_cast<uint32_t>(root);
  const uint32_t keys[] = {type, id, 0};
  for (int level = 0; level < 3; ++level) {
    if (!pe_resource::Entry(read, directory, level == 2, keys[level], &value)) return false;
    const bool subdirectory = (value & IMAGE_RESOURCE_DATA_IS_DIRECTORY) != 0;
    if (subdirectory != (level < 2)) return false;
    const uint32_t offset = value & ~static_cast<uint32_t>(IMAGE_RESOURCE_DATA_IS_DIRECTORY);
    if (offset + 16ull > rootSize) return false;
    directory = static_cast<uint32_t>(root + offset);
  }
  // directory is now the data entry: the data's address and size.
  IMAGE_RESOURCE_DATA_ENTRY entry;
  size_t at = 0;
  if (!read(directory, sizeof entry, &entry) ||
      !pe_resource::FileOffset(image, headers, entry.OffsetToData, entry.Size, &at)) {
    return false;
  }
  data->assign(image.begin() + at, image.begin() + at + entry.Size);
  return true;
}
