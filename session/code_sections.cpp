#include "session/code_sections.h"

#include <string.h>

#include "session/log_file.h"
#include "session/pe_image.h"

namespace {

// The headers of a loaded image lie in its first page; the loader maps no more for them.
constexpr uint32_t kHeaderBytes = 4096;

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

const CCodeSections::ModuleSections& CCodeSections::SectionsOf(CLogFile& session, const CModule& module) {
  for (const ModuleSections& known : modules) {
    if (known.base == module.base && known.size == module.size) return known;
  }
  modules.push_back({module.base, module.size, {}});
  ModuleSections& entry = modules.back();

  uint8_t page[kHeaderBytes];
  uint32_t count = 0;
  session.ReadTargetMemory(module.base, page, sizeof page, &count, true);
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
  if (problem != nullptr) session.Log("Return addresses in %s not believed: %s", module.name.c_str(), problem);
  return entry;
}
