// The .text section of a 32-bit PE image file, for the developer tools and benchmarks that
// decode real code.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <vector>

#include "session/pe_image.h"

struct PeTextSection {
  uint32_t address = 0;  // where the image base puts it
  std::vector<uint8_t> bytes;
};

// The whole file; false when it cannot be opened.
inline bool ReadPeFile(const char* path, std::vector<uint8_t>* image) {
  FILE* file = fopen(path, "rb");
  if (!file) return false;
  uint8_t chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) image->insert(image->end(), chunk, chunk + n);
  fclose(file);
  return true;
}

// The headers of an image file in memory; false when it is no 32-bit PE image or its
// section table lies outside the file.
inline bool ReadPeHeaders(const std::vector<uint8_t>& image, pe::Headers* headers) {
  pe::BytesReader read{image.data(), image.size()};
  return pe::ReadFileHeader(read, headers) == pe::Fault::kNone &&
         pe::ReadOptionalHeader(read, headers) == pe::Fault::kNone &&
         pe::ReadSectionTable(read, headers) == pe::Fault::kNone;
}

// False when the file cannot be read, is no PE image or has no .text section inside it.
inline bool ReadPeTextSection(const char* path, PeTextSection* text) {
  std::vector<uint8_t> image;
  pe::Headers headers;
  if (!ReadPeFile(path, &image) || !ReadPeHeaders(image, &headers)) return false;
  for (const IMAGE_SECTION_HEADER& section : headers.sections) {
    if (memcmp(section.Name, ".text\0\0\0", IMAGE_SIZEOF_SHORT_NAME) != 0) continue;
    const uint32_t virtualSize = section.Misc.VirtualSize;
    const uint32_t size = virtualSize != 0 && virtualSize < section.SizeOfRawData ? virtualSize : section.SizeOfRawData;
    if (static_cast<size_t>(section.PointerToRawData) + size > image.size()) return false;
    text->address = headers.optional.ImageBase + section.VirtualAddress;
    text->bytes.assign(image.begin() + section.PointerToRawData, image.begin() + section.PointerToRawData + size);
    return true;
  }
  return false;
}
