#include "session/module_image.h"

#include <string.h>

#include <algorithm>

#include "session/pe_image.h"

namespace {

// The headers of a loaded image lie in its first page; the loader maps no more for them.
constexpr uint32_t kHeaderBytes = 4096;
// The call targets of a section come from at most this many of its first bytes, read in
// pieces of this size.
constexpr uint32_t kMaxTargetSection = 16u << 20;
constexpr uint32_t kTargetChunk = 64u << 10;

// The imm32 of "mov dword [m], imm32" (C7 /0) for the memory forms that store a function's
// address for a call or a record: [esp], [esp+d8], [esp+d32], [ebp+d8], [ebp+d32], [d32].
// 0 for any other form, or when the bytes end first.
uint32_t ImmediateOfMove(const uint8_t* at, uint32_t left) {
  uint32_t offset = 0;
  if (at[1] == 0x04 && at[2] == 0x24) offset = 3;
  else if (at[1] == 0x44 && at[2] == 0x24) offset = 4;
  else if (at[1] == 0x84 && at[2] == 0x24) offset = 7;
  else if (at[1] == 0x45) offset = 3;
  else if (at[1] == 0x85 || at[1] == 0x05) offset = 6;
  if (offset == 0 || offset + 4 > left) return 0;
  return pe::Word32(at + offset);
}

// Why the section table of a header page cannot be used; null when it can.
const char* SectionTableProblem(const std::vector<uint8_t>& page, pe::Headers* headers) {
  pe::BytesReader read{page.data(), page.size()};
  switch (pe::ReadFileHeader(read, headers)) {
    case pe::Fault::kNone:
      if (pe::ReadSectionTable(read, headers) != pe::Fault::kNone) return "section table not in its first page";
      return nullptr;
    case pe::Fault::kNoPe:
      return "no PE header in its first page";
    default:
      return "no readable MZ header";
  }
}

// The export parser's read: the readable front of a range.
bool ReadPrefixOf(void* memory, uint32_t address, void* buffer, uint32_t size, uint32_t* count) {
  *count = static_cast<CTargetMemory*>(memory)->ReadPrefix(address, buffer, size);
  return *count > 0;
}

}  // namespace

CModuleImages::CModuleImages(const std::vector<CModule>& moduleTable, CTargetMemory& targetMemory,
                             const TextPane& logPane)
    : modules(moduleTable), memory(targetMemory), log(logPane) {}

size_t CModuleImages::RecordAt(uint32_t address) const { return ModuleRecordAt(modules, address); }

// The header page is read at the first question of either kind, the way the section reader
// has always read it; the export parser takes its header bytes from it.
CModuleImages::Image& CModuleImages::ImageOf(size_t record) {
  if (images.size() <= record) images.resize(record + 1);
  if (images[record]) return *images[record];
  images[record].reset(new Image());
  Image& image = *images[record];
  uint8_t page[kHeaderBytes];
  uint32_t count = 0;
  image.headerPageWhole = memory.Read(modules[record].base, page, sizeof page, &count, true);
  image.headerPage.assign(page, page + std::min<uint32_t>(count, sizeof page));
  return image;
}

const CModuleImages::Range* CModuleImages::SectionOf(size_t record, uint32_t address) {
  const CModule& module = modules[record];
  Image& image = ImageOf(record);
  if (!image.sectionsRead) ReadSections(module, image);
  const uint32_t offset = address - module.base;
  for (const Range& range : image.ranges) {
    if (offset >= range.start && offset < range.end) return &range;
  }
  return nullptr;
}

void CModuleImages::ReadSections(const CModule& module, Image& image) {
  image.sectionsRead = true;
  pe::Headers headers;
  const char* problem = SectionTableProblem(image.headerPage, &headers);
  for (const IMAGE_SECTION_HEADER& section : headers.sections) {
    Range range;
    if (pe::ExecutableSpan(section, module.size, &range.start, &range.end)) image.ranges.push_back(range);
  }
  if (problem == nullptr && image.ranges.empty()) problem = "no executable section";
  if (problem != nullptr) WriteLine("Return addresses in " + module.name + " not believed: " + problem);
}

bool CModuleImages::Holds(uint32_t address) {
  const size_t record = RecordAt(address);
  return record < modules.size() && SectionOf(record, address) != nullptr;
}

bool CModuleImages::SectionAt(uint32_t address, uint32_t* start, uint32_t* end) {
  const size_t record = RecordAt(address);
  if (record == modules.size()) return false;
  const Range* range = SectionOf(record, address);
  if (range == nullptr) return false;
  *start = modules[record].base + range->start;
  *end = modules[record].base + range->end;
  return true;
}

bool CModuleImages::FunctionStartAtOrBelow(uint32_t address, uint32_t* start) {
  const size_t record = RecordAt(address);
  if (record == modules.size()) return false;
  const Range* range = SectionOf(record, address);
  if (range == nullptr) return false;
  Image& image = *images[record];
  const Targets* known = nullptr;
  for (const Targets& targets : image.targets) {
    if (targets.start == range->start) known = &targets;
  }
  if (known == nullptr) {
    image.targets.push_back(ReadTargets(modules[record].base, *range));
    known = &image.targets.back();
  }
  auto above = std::upper_bound(known->sorted.begin(), known->sorted.end(), address);
  if (above == known->sorted.begin()) return false;
  *start = *(above - 1);
  return true;
}

// Every E8 rel32 whose target falls into the section counts, and every immediate of the
// forms that pass a function's address (push imm32, mov r32 / [esp] / [esp+d] / [ebp+d] /
// [d32], imm32) that points into it. A byte pattern inside another instruction seldom lands
// there, and a wrong start only weakens a preference.
CModuleImages::Targets CModuleImages::ReadTargets(uint32_t base, const Range& range) {
  Targets targets{range.start, {}};
  const uint32_t size = range.end - range.start < kMaxTargetSection ? range.end - range.start : kMaxTargetSection;
  std::vector<uint8_t> code(size);
  const uint32_t low = base + range.start;
  for (uint32_t done = 0; done < size;) {
    const uint32_t chunk = size - done < kTargetChunk ? size - done : kTargetChunk;
    // An unreadable chunk stays zero: no call is found in it.
    if (!memory.ReadExactly(low + done, code.data() + done, chunk, false)) {
      memset(code.data() + done, 0, chunk);
    }
    done += chunk;
  }
  auto add = [&](uint32_t value) {
    if (value - low < size) targets.sorted.push_back(value);
  };
  for (uint32_t i = 0; i + 5 <= size; ++i) {
    const uint8_t* at = &code[i];
    const uint32_t left = size - i;
    if (at[0] == 0xE8) add(low + i + 5 + pe::Word32(at + 1));
    if (at[0] == 0x68 || (at[0] >= 0xB8 && at[0] <= 0xBF)) add(pe::Word32(at + 1));
    if (at[0] != 0xC7 || left < 7) continue;
    const uint32_t immediate = ImmediateOfMove(at, left);
    if (immediate != 0) add(immediate);
  }
  std::sort(targets.sorted.begin(), targets.sorted.end());
  targets.sorted.erase(std::unique(targets.sorted.begin(), targets.sorted.end()), targets.sorted.end());
  return targets;
}

bool CModuleImages::ExportAt(uint32_t address, const ExportedFunction** function, const char** name) {
  const size_t record = RecordAt(address);
  if (record == modules.size()) return false;
  Image& image = ImageOf(record);
  if (!image.exportsRead) ReadExports(modules[record], image);
  *function = image.exports.FunctionAt(address);
  if (*function == nullptr) return false;
  *name = image.exports.NameOf(**function);
  return true;
}

void CModuleImages::ReadExports(const CModule& module, Image& image) {
  image.exportsRead = true;
  const TargetReader reader{&ReadPrefixOf, &memory};
  // Header bytes only from a read that succeeded: a failed one may leave bytes the platform
  // did not vouch for.
  const uint32_t known = image.headerPageWhole ? static_cast<uint32_t>(image.headerPage.size()) : 0;
  std::string problem;
  const bool usable = image.exports.Read(reader, module.base, module.size, &problem, image.headerPage.data(), known);
  if (problem.empty()) return;
  WriteLine("Exports of " + module.name + (usable ? " partly used: " : " not used: ") + problem);
}

void CModuleImages::WriteLine(const std::string& line) const {
  if (log.appendLine != nullptr) log.appendLine(log.context, line.c_str());
}
