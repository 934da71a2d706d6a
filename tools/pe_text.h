// The .text section of a 32-bit PE image file, for the developer tools and benchmarks that
// decode real code.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <vector>

struct PeTextSection {
  uint32_t address = 0;  // where the image base puts it
  std::vector<uint8_t> bytes;
};

inline uint32_t PeWord32(const std::vector<uint8_t>& d, size_t at) {
  return at + 4 <= d.size() ? d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24 : 0;
}
inline uint32_t PeWord16(const std::vector<uint8_t>& d, size_t at) {
  return at + 2 <= d.size() ? d[at] | d[at + 1] << 8 : 0;
}

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

// False when the file cannot be read, is no PE image or has no .text section inside it.
inline bool ReadPeTextSection(const char* path, PeTextSection* text) {
  std::vector<uint8_t> image;
  if (!ReadPeFile(path, &image)) return false;
  uint32_t pe = PeWord32(image, 0x3C);
  if (PeWord32(image, pe) != 0x00004550) return false;
  uint32_t sections = PeWord16(image, pe + 6);
  uint32_t optional = PeWord16(image, pe + 20);
  uint32_t imageBase = PeWord32(image, pe + 24 + 28);
  size_t header = pe + 24 + optional;
  for (uint32_t i = 0; i < sections; ++i, header += 40) {
    if (header + 40 > image.size()) return false;
    if (memcmp(&image[header], ".text\0\0\0", 8) != 0) continue;
    uint32_t virtualSize = PeWord32(image, header + 8);
    uint32_t virtualAddress = PeWord32(image, header + 12);
    uint32_t rawSize = PeWord32(image, header + 16);
    uint32_t rawPointer = PeWord32(image, header + 20);
    uint32_t size = virtualSize != 0 && virtualSize < rawSize ? virtualSize : rawSize;
    if (static_cast<size_t>(rawPointer) + size > image.size()) return false;
    text->address = imageBase + virtualAddress;
    text->bytes.assign(image.begin() + rawPointer, image.begin() + rawPointer + size);
    return true;
  }
  return false;
}
