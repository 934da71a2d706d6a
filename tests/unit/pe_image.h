// A loaded 32-bit PE image with an export directory, for modules of the simulated target:
// DOS and PE headers, a section table (.text executable, .edata and .data not) and the
// export directory at the start of .edata with its three arrays, the names and the
// forwarder texts. Tests damage the result by patching the offsets it reports.
#pragma once

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "sim/sim.h"

namespace pe_image {

constexpr uint32_t kNtHeader = 0x80;
constexpr uint32_t kTextStart = 0x1000;
constexpr uint32_t kTextSize = 0x1000;
constexpr uint32_t kExportStart = 0x2000;
constexpr uint32_t kExportSectionSize = 0x1000;
constexpr uint32_t kDataStart = 0x3000;
constexpr uint32_t kImageSize = 0x4000;
constexpr uint32_t kSectionCode = 0x60000020;  // code, execute, read
constexpr uint32_t kSectionData = 0x40000040;  // initialised data, read

struct Export {
  uint32_t offset;        // from the image base; ignored for a forwarder
  std::string name;       // empty: exported by ordinal only
  std::string forwarder;  // not empty: "DLL.Function", which the directory holds instead of code
};

struct Image {
  std::vector<uint8_t> bytes;
  // Offsets from the image base of what tests patch.
  uint32_t directory = 0;  // the 40-byte export directory
  uint32_t functions = 0;
  uint32_t names = 0;
  uint32_t ordinals = 0;
  uint32_t exportEntry = 0;     // data directory 0 in the optional header: address, size
  uint32_t sectionTable = 0;

  void Put16(uint32_t at, uint32_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
  }
  void Put32(uint32_t at, uint32_t value) {
    Put16(at, value);
    Put16(at + 2, value >> 16);
  }
  uint32_t Get32(uint32_t at) const {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
  }
};

// Exports are listed by ordinal: exports[i] has ordinal ordinalBase + i. Their names go into
// the name table in text order, as linkers write them.
inline Image Build(const std::vector<Export>& exports, uint32_t ordinalBase = 1) {
  Image image;
  image.bytes.assign(kImageSize, 0);
  image.Put16(0, 0x5A4D);
  image.Put32(0x3C, kNtHeader);
  image.Put32(kNtHeader, 0x00004550);
  image.Put16(kNtHeader + 4, 0x014C);
  image.Put16(kNtHeader + 6, 3);         // sections
  image.Put16(kNtHeader + 20, 0xE0);     // optional header size
  const uint32_t optional = kNtHeader + 24;
  image.Put16(optional, 0x10B);
  image.Put32(optional + 28, 0x10000000);  // image base as linked
  image.Put32(optional + 56, kImageSize);
  image.Put32(optional + 60, 0x400);       // size of headers
  image.Put32(optional + 92, 16);          // data directories
  image.exportEntry = optional + 96;
  image.sectionTable = optional + 0xE0;
  struct SectionRow {
    const char* name;
    uint32_t start, size, flags;
  } const sections[] = {{".text", kTextStart, kTextSize, kSectionCode},
                        {".edata", kExportStart, kExportSectionSize, kSectionData},
                        {".data", kDataStart, kImageSize - kDataStart, kSectionData}};
  for (uint32_t i = 0; i < 3; ++i) {
    const uint32_t row = image.sectionTable + 40 * i;
    memcpy(&image.bytes[row], sections[i].name, strlen(sections[i].name));
    image.Put32(row + 8, sections[i].size);
    image.Put32(row + 12, sections[i].start);
    image.Put32(row + 16, sections[i].size);
    image.Put32(row + 20, sections[i].start);
    image.Put32(row + 36, sections[i].flags);
  }

  std::vector<uint32_t> named;  // indices of the exports with names, in name order
  for (uint32_t i = 0; i < exports.size(); ++i) {
    if (!exports[i].name.empty()) named.push_back(i);
  }
  for (size_t i = 1; i < named.size(); ++i) {
    for (size_t j = i; j > 0 && exports[named[j]].name < exports[named[j - 1]].name; --j) std::swap(named[j], named[j - 1]);
  }
  const uint32_t count = static_cast<uint32_t>(exports.size());
  image.directory = kExportStart;
  image.functions = kExportStart + 40;
  image.names = image.functions + 4 * count;
  image.ordinals = image.names + 4 * static_cast<uint32_t>(named.size());
  uint32_t text = image.ordinals + 2 * static_cast<uint32_t>(named.size());
  auto putText = [&](const std::string& value) {
    const uint32_t at = text;
    memcpy(&image.bytes[at], value.c_str(), value.size() + 1);
    text += static_cast<uint32_t>(value.size()) + 1;
    return at;
  };
  image.Put32(image.directory + 12, putText("module.dll"));
  image.Put32(image.directory + 16, ordinalBase);
  image.Put32(image.directory + 20, count);
  image.Put32(image.directory + 24, static_cast<uint32_t>(named.size()));
  image.Put32(image.directory + 28, image.functions);
  image.Put32(image.directory + 32, image.names);
  image.Put32(image.directory + 36, image.ordinals);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t at = exports[i].forwarder.empty() ? exports[i].offset : putText(exports[i].forwarder);
    image.Put32(image.functions + 4 * i, at);
  }
  for (uint32_t k = 0; k < named.size(); ++k) {
    image.Put32(image.names + 4 * k, putText(exports[named[k]].name));
    image.Put16(image.ordinals + 2 * k, named[k]);
  }
  image.Put32(image.exportEntry, kExportStart);
  image.Put32(image.exportEntry + 4, text - kExportStart);
  return image;
}

// Maps the image at base as one readable image region of the target (as the loader does) and
// adds the module to the stand-in; a region of code may follow for listings.
inline void Load(const Image& image, const std::string& path, uint32_t base) {
  sim::AddModule(path, base, static_cast<uint32_t>(image.bytes.size()));
  sim::AddRegion(base, static_cast<uint32_t>(image.bytes.size()), PAGE_EXECUTE_READ, MEM_IMAGE);
  sim::Fill(base, image.bytes);
}

}  // namespace pe_image
