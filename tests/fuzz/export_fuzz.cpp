// libFuzzer target: the export-table parser on arbitrary module images with unreadable pages.
// Checks, besides no sanitizer report and no crash: the functions are sorted, their spans are
// not empty and never overlap, each lies wholly inside one executable section of the image and
// outside its export directory, every name is terminated and fits the symbol buffer, and a
// header page handed over as already read changes nothing.
//
// Input: byte 0 says which of the image's four pages cannot be read (bit N: page N); the
// rest are the image's first bytes, zero beyond. scripts/fuzz-exports seeds it with images of
// the stand-in's PE builder (tests/fuzz/export_seeds.cpp).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "session/export_table.h"

namespace {

constexpr uint32_t kBase = 0x7bc00000;
constexpr uint32_t kImageSize = 0x4000;
constexpr uint32_t kPageSize = 0x1000;

struct Image {
  std::vector<uint8_t> bytes;
  uint8_t unreadable;  // page mask
};

// The readable front of a request: up to the first unreadable page or the end of the image.
bool ReadImage(void* context, uint32_t address, void* buffer, uint32_t size, uint32_t* count) {
  const Image& image = *static_cast<const Image*>(context);
  uint32_t done = 0;
  while (done < size) {
    const uint32_t offset = address + done - kBase;
    if (offset >= kImageSize || (image.unreadable >> (offset / kPageSize) & 1) != 0) break;
    const uint32_t piece = std::min(size - done, kPageSize - offset % kPageSize);
    memcpy(static_cast<uint8_t*>(buffer) + done, &image.bytes[offset], piece);
    done += piece;
  }
  *count = done;
  return done > 0;
}

uint32_t Word16(const Image& image, uint64_t at) {
  return at + 2 <= kImageSize ? image.bytes[at] | image.bytes[at + 1] << 8 : 0;
}
uint32_t Word32(const Image& image, uint64_t at) {
  return at + 4 <= kImageSize ? Word16(image, at) | Word16(image, at + 2) << 16 : 0;
}

// [start, end) of the executable sections as the headers give them, cut to the image.
std::vector<std::pair<uint64_t, uint64_t>> ExecutableSections(const Image& image, uint32_t imageSize) {
  std::vector<std::pair<uint64_t, uint64_t>> sections;
  const uint64_t nt = Word32(image, 0x3C);
  const uint32_t count = Word16(image, nt + 6);
  const uint64_t table = nt + 24 + Word16(image, nt + 20);
  for (uint32_t i = 0; i < count && i < 96; ++i) {
    const uint64_t header = table + 40 * i;
    if ((Word32(image, header + 36) & 0x20000020) == 0) continue;
    const uint64_t start = Word32(image, header + 12);
    const uint64_t size = Word32(image, header + 8) != 0 ? Word32(image, header + 8) : Word32(image, header + 16);
    sections.emplace_back(start, std::min<uint64_t>(start + size, imageSize));
  }
  return sections;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Image image{std::vector<uint8_t>(kImageSize, 0), data[0]};
  memcpy(image.bytes.data(), data + 1, std::min<size_t>(size - 1, kImageSize));
  const TargetReader reader{ReadImage, &image};
  CExportTable table;
  std::string problem;
  const bool usable = table.Read(reader, kBase, kImageSize, &problem);
  if (usable != (table.size() > 0)) abort();
  // The header page handed over as already read gives the same table and the same problem.
  if ((image.unreadable & 1) == 0) {
    CExportTable fromPage;
    std::string pageProblem;
    if (fromPage.Read(reader, kBase, kImageSize, &pageProblem, image.bytes.data(), kPageSize) != usable ||
        pageProblem != problem || fromPage.size() != table.size()) {
      abort();
    }
    for (size_t i = 0; i < table.size(); ++i) {
      const ExportedFunction& a = table.all()[i];
      const ExportedFunction& b = fromPage.all()[i];
      if (a.address != b.address || a.size != b.size || strcmp(table.NameOf(a), fromPage.NameOf(b)) != 0) abort();
    }
  }
  if (!usable) return 0;

  const uint64_t nt = Word32(image, 0x3C);
  const uint32_t imageSize = std::min(Word32(image, nt + 24 + 56), kImageSize);
  const uint64_t exportStart = Word32(image, nt + 24 + 96);
  const uint64_t exportEnd = std::min<uint64_t>(exportStart + Word32(image, nt + 24 + 100), imageSize);
  const auto sections = ExecutableSections(image, imageSize);
  uint64_t previousEnd = 0;
  for (const ExportedFunction& function : table.all()) {
    const uint64_t start = function.address - static_cast<uint64_t>(kBase);
    const uint64_t end = start + function.size;
    if (function.address < kBase || function.size == 0 || start < previousEnd) abort();
    previousEnd = end;
    bool inSection = false;
    for (const auto& section : sections) inSection |= section.first <= start && end <= section.second;
    if (!inSection) abort();
    if (start < exportEnd && exportStart < end) abort();
    const char* name = table.NameOf(function);
    const size_t length = strnlen(name, 1025);
    if (length == 0 || length > 1024) abort();
  }
  return 0;
}
