#include "session/code_sections.h"

#include <string.h>

#include <algorithm>

#include "session/log_file.h"

namespace {

// The headers of a loaded image lie in its first page; the loader maps no more for them.
constexpr uint32_t kHeaderBytes = 4096;
constexpr uint32_t kNewHeaderField = 0x3C;     // e_lfanew
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint32_t kSectionCountField = 6;     // from the signature on
constexpr uint32_t kOptionalSizeField = 20;
constexpr uint32_t kFileHeaderSize = 24;       // signature and file header
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSectionExecutable = 0x20000000 | 0x00000020;  // MEM_EXECUTE or CNT_CODE
// The call targets of a section come from at most this many of its first bytes, read in
// pieces of this size.
constexpr uint32_t kMaxTargetSection = 16u << 20;
constexpr uint32_t kTargetChunk = 64u << 10;

uint32_t Word16(const uint8_t* bytes) { return bytes[0] | bytes[1] << 8; }
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

const CModule* CCodeSections::ModuleAt(const CLogFile& session, uint32_t address) {
  for (const CModule& module : session.modules) {
    if (address - module.base < module.size) return &module;
  }
  return nullptr;
}

bool CCodeSections::Holds(CLogFile& session, uint32_t address) {
  const CModule* module = ModuleAt(session, address);
  if (module == nullptr) return false;
  const uint32_t offset = address - module->base;
  for (const Range& range : SectionsOf(session, *module).ranges) {
    if (offset >= range.start && offset < range.end) return true;
  }
  return false;
}

bool CCodeSections::SectionAt(CLogFile& session, uint32_t address, uint32_t* start, uint32_t* end) {
  const CModule* module = ModuleAt(session, address);
  if (module == nullptr) return false;
  const uint32_t offset = address - module->base;
  for (const Range& range : SectionsOf(session, *module).ranges) {
    if (offset >= range.start && offset < range.end) {
      *start = module->base + range.start;
      *end = module->base + range.end;
      return true;
    }
  }
  return false;
}

bool CCodeSections::FunctionStartAtOrBelow(CLogFile& session, uint32_t address, uint32_t* start) {
  const CModule* module = ModuleAt(session, address);
  if (module == nullptr) return false;
  ModuleSections& sections = SectionsOf(session, *module);
  const uint32_t offset = address - module->base;
  for (const Range& range : sections.ranges) {
    if (offset < range.start || offset >= range.end) continue;
    const Targets* known = nullptr;
    for (const Targets& targets : sections.targets) {
      if (targets.start == range.start) known = &targets;
    }
    if (known == nullptr) {
      sections.targets.push_back(ReadTargets(session, module->base, range));
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
CCodeSections::Targets CCodeSections::ReadTargets(CLogFile& session, uint32_t base, const Range& range) {
  Targets targets{range.start, {}};
  const uint32_t size = range.end - range.start < kMaxTargetSection ? range.end - range.start : kMaxTargetSection;
  std::vector<uint8_t> code(size);
  const uint32_t low = base + range.start;
  for (uint32_t done = 0; done < size;) {
    const uint32_t chunk = size - done < kTargetChunk ? size - done : kTargetChunk;
    uint32_t count = 0;
    // An unreadable chunk stays zero: no call is found in it.
    if (!session.ReadTargetMemoryDirect(low + done, code.data() + done, chunk, &count) || count != chunk) {
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

CCodeSections::ModuleSections& CCodeSections::SectionsOf(CLogFile& session, const CModule& module) {
  for (ModuleSections& known : modules) {
    if (known.base == module.base && known.size == module.size) return known;
  }
  modules.push_back({module.base, module.size, {}});
  ModuleSections& entry = modules.back();

  uint8_t headers[kHeaderBytes];
  uint32_t count = 0;
  session.ReadTargetMemory(module.base, headers, sizeof headers, &count, true);
  const char* problem = nullptr;
  const uint32_t nt = count >= kNewHeaderField + 4 ? Word32(headers + kNewHeaderField) : 0;
  if (count < kNewHeaderField + 4 || Word16(headers) != 0x5A4D) {
    problem = "no readable MZ header";
  } else if (nt > count - kFileHeaderSize || Word32(headers + nt) != kPeSignature) {
    problem = "no PE header in its first page";
  } else {
    const uint32_t sectionCount = Word16(headers + nt + kSectionCountField);
    const uint64_t table = static_cast<uint64_t>(nt) + kFileHeaderSize + Word16(headers + nt + kOptionalSizeField);
    if (table + static_cast<uint64_t>(sectionCount) * kSectionHeaderSize > count) {
      problem = "section table not in its first page";
    } else {
      for (uint32_t i = 0; i < sectionCount; ++i) {
        const uint8_t* header = headers + table + i * kSectionHeaderSize;
        if ((Word32(header + 36) & kSectionExecutable) == 0) continue;
        const uint32_t start = Word32(header + 12);
        const uint64_t size = Word32(header + 8) != 0 ? Word32(header + 8) : Word32(header + 16);
        if (start >= module.size) continue;
        const uint64_t end = start + size < module.size ? start + size : module.size;
        if (end > start) entry.ranges.push_back({start, static_cast<uint32_t>(end)});
      }
      if (entry.ranges.empty()) problem = "no executable section";
    }
  }
  if (problem != nullptr) session.Log("Return addresses in %s not believed: %s", module.name.c_str(), problem);
  return entry;
}
