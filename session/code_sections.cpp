#include "session/code_sections.h"

#include <string.h>

#include <algorithm>

#include "session/target.h"
#include "session/pe_image.h"

namespace {

// The headers of a loaded image lie in its first page; the loader maps no more for them.
constexpr uint32_t kHeaderBytes = 4096;
// The call targets of a section come from at most this many of its first bytes, read in
// pieces of this size.
constexpr uint32_t kMaxTargetSection = 16u << 20;
constexpr uint32_t kTargetChunk = 64u << 10;

uint32_t Word32(const uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

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
  return Word32(at + offset);
}

}  // namespace

bool CCodeSections::Holds(const CTarget& target, uint32_t address) {
  const CModule* module = target.ModuleAt(address);
  if (module == nullptr) return false;
  const uint32_t offset = address - module->base;
  for (const Range& range : SectionsOf(target, *module).ranges) {
    if (offset >= range.start && offset < range.end) return true;
  }
  return false;
}

bool CCodeSections::SectionAt(const CTarget& target, uint32_t address, uint32_t* start, uint32_t* end) {
  const CModule* module = target.ModuleAt(address);
  if (module == nullptr) return false;
  const uint32_t offset = address - module->base;
  for (const Range& range : SectionsOf(target, *module).ranges) {
    if (offset >= range.start && offset < range.end) {
      *start = module->base + range.start;
      *end = module->base + range.end;
      return true;
    }
  }
  return false;
}

bool CCodeSections::FunctionStartAtOrBelow(const CTarget& target, uint32_t address, uint32_t* start) {
  const CModule* module = target.ModuleAt(address);
  if (module == nullptr) return false;
  ModuleSections& sections = SectionsOf(target, *module);
  const uint32_t offset = address - module->base;
  for (const Range& range : sections.ranges) {
    if (offset < range.start || offset >= range.end) continue;
    const Targets* known = nullptr;
    for (const Targets& targets : sections.targets) {
      if (targets.start == range.start) known = &targets;
    }
    if (known == nullptr) {
      sections.targets.push_back(ReadTargets(target, module->base, range));
      known = &sections.targets.back();
    }
    auto above = std::upper_bound(known->sorted.begin(), known->sorted.end(), address);
    if (above == known->sorted.begin()) return false;
    *start = *(above - 1);
    return true;
  }
  return false;
}

// Every E8 rel32 whose target falls into the section counts, and every immediate of the
// forms that pass a function's address (push imm32, mov r32 / [esp] / [esp+d] / [ebp+d] /
// [d32], imm32) that points into it. A byte pattern inside another instruction seldom lands
// there, and a wrong start only weakens a preference.
CCodeSections::Targets CCodeSections::ReadTargets(const CTarget& target, uint32_t base, const Range& range) {
  Targets targets{range.start, {}};
  const uint32_t size = range.end - range.start < kMaxTargetSection ? range.end - range.start : kMaxTargetSection;
  std::vector<uint8_t> code(size);
  const uint32_t low = base + range.start;
  for (uint32_t done = 0; done < size;) {
    const uint32_t chunk = size - done < kTargetChunk ? size - done : kTargetChunk;
    // An unreadable chunk stays zero: no call is found in it.
    if (!target.ReadExactly(low + done, code.data() + done, chunk, false)) {
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
    if (at[0] == 0xE8) add(low + i + 5 + Word32(at + 1));
    if (at[0] == 0x68 || (at[0] >= 0xB8 && at[0] <= 0xBF)) add(Word32(at + 1));
    if (at[0] != 0xC7 || left < 7) continue;
    const uint32_t immediate = ImmediateOfMove(at, left);
    if (immediate != 0) add(immediate);
  }
  std::sort(targets.sorted.begin(), targets.sorted.end());
  targets.sorted.erase(std::unique(targets.sorted.begin(), targets.sorted.end()), targets.sorted.end());
  return targets;
}

CCodeSections::ModuleSections& CCodeSections::SectionsOf(const CTarget& target, const CModule& module) {
  for (ModuleSections& known : modules) {
    if (known.base == module.base && known.size == module.size) return known;
  }
  modules.push_back({module.base, module.size, {}});
  ModuleSections& entry = modules.back();

  uint8_t page[kHeaderBytes];
  uint32_t count = 0;
  target.Read(module.base, page, sizeof page, &count, true);
  pe::BytesReader read{page, count};
  pe::Headers headers;
  const char* problem = nullptr;
  switch (pe::ReadFileHeader(read, &headers)) {
    case pe::Fault::kNone:
      if (pe::ReadSectionTable(read, &headers) != pe::Fault::kNone) problem = "section table not in its first page";
      break;
    case pe::Fault::kNoPe:
      problem = "no PE header in its first page";
      break;
    default:
      problem = "no readable MZ header";
      break;
  }
  for (const IMAGE_SECTION_HEADER& section : headers.sections) {
    Range range;
    if (pe::ExecutableSpan(section, module.size, &range.start, &range.end)) entry.ranges.push_back(range);
  }
  if (problem == nullptr && entry.ranges.empty()) problem = "no executable section";
  if (problem != nullptr && log.appendLine != nullptr) {
    const std::string line = "Return addresses in " + module.name + " not believed: " + problem;
    log.appendLine(log.context, line.c_str());
  }
  return entry;
}
