#include "session/export_table.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "session/log_file.h"

namespace {

// Where the loader finds things in an image (offsets in bytes).
constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kDosMagic = 0x5A4D;          // "MZ"
constexpr uint32_t kNewHeaderField = 0x3C;      // e_lfanew
constexpr uint32_t kPeSignature = 0x00004550;   // "PE\0\0"
constexpr uint32_t kNtHeaderSize = 24;          // signature and file header
constexpr uint32_t kSectionCountField = 6;     // from the signature on
constexpr uint32_t kOptionalSizeField = 20;
constexpr uint32_t kPe32Magic = 0x10B;
constexpr uint32_t kImageSizeField = 56;        // in the optional header
constexpr uint32_t kDirectoryCountField = 92;
constexpr uint32_t kExportEntryField = 96;      // data directory 0: address and size
constexpr uint32_t kOptionalNeeded = kExportEntryField + 8;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kMaxSections = 96;           // the loader's own limit
constexpr uint32_t kSectionExecutable = 0x20000000 | 0x00000020;  // MEM_EXECUTE or CNT_CODE
constexpr uint32_t kExportDirectorySize = 40;

// Bounds that keep a damaged or hostile directory cheap. Name ordinals are 16-bit, so no
// real module exports more functions or names than this.
constexpr uint32_t kMaxFunctions = 0x10000;
constexpr uint32_t kMaxNameLength = 1024;  // what the symbol buffer holds; longer names are cut
constexpr uint32_t kMaxNameBytes = 1u << 20;
constexpr uint32_t kMaxHeldDirectory = 1u << 20;
constexpr uint32_t kNoName = 0xFFFFFFFF;

uint32_t Word16(const uint8_t* bytes) { return bytes[0] | bytes[1] << 8; }
uint32_t Word32(const uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

bool Fail(std::string* problem, const char* why) {
  *problem = why;
  return false;
}

struct Section {
  uint32_t start;  // relative to the image base
  uint32_t end;
};

// Reads of one module's image by offset from its base, never past its end. The export
// directory is read whole once and then serves every read inside it, so that a module's
// exports cost a few large reads, not one per name.
class CImageReader {
 public:
  CImageReader(CLogFile& session, uint32_t base, uint32_t imageSize)
      : session(session), base(base), imageSize(imageSize) {}

  uint32_t imageEnd() const { return imageSize; }
  bool Inside(uint32_t offset, uint64_t size) const { return offset <= imageSize && size <= imageSize - offset; }

  bool Read(uint32_t offset, uint32_t size, void* out) {
    if (!Inside(offset, size)) return false;
    if (size == 0) return true;  // an empty array
    if (offset >= heldStart && size <= held.size() && offset - heldStart <= held.size() - size) {
      memcpy(out, held.data() + (offset - heldStart), size);
      return true;
    }
    uint32_t count = 0;
    return session.ReadTargetMemory(base + offset, out, size, &count, true) && count == size;
  }

  // Keeps the bytes from offset on for later reads; when they cannot be read whole, later
  // reads simply go to the target.
  void Hold(uint32_t offset, uint32_t size) {
    if (!Inside(offset, size)) size = offset <= imageSize ? imageSize - offset : 0;
    if (size > kMaxHeldDirectory) size = kMaxHeldDirectory;
    std::vector<uint8_t> bytes(size);
    uint32_t count = 0;
    if (size == 0 || !session.ReadTargetMemory(base + offset, bytes.data(), size, &count, true) || count != size) return;
    held.swap(bytes);
    heldStart = offset;
  }

  // A name of printable characters ended by a NUL inside the image, cut after kMaxNameLength.
  bool ReadName(uint32_t offset, std::string* name) {
    if (!Inside(offset, 1)) return false;
    char text[kMaxNameLength + 1];
    uint32_t room = imageSize - offset < sizeof text ? imageSize - offset : sizeof text;
    uint32_t count = 0;
    if (offset >= heldStart && offset - heldStart < held.size()) {
      count = std::min<uint32_t>(room, static_cast<uint32_t>(held.size()) - (offset - heldStart));
      memcpy(text, held.data() + (offset - heldStart), count);
    }
    if (memchr(text, 0, count) == nullptr && count < sizeof text) {
      // Not wholly inside the directory: from the target, as much as can be read.
      count = 0;
      if (!session.ReadTargetMemory(base + offset, text, room, &count, true)) return false;
    }
    const char* end = static_cast<const char*>(memchr(text, 0, count));
    if (end == nullptr && count == sizeof text) end = text + kMaxNameLength;
    if (end == nullptr || end == text) return false;
    for (const char* c = text; c < end; ++c) {
      if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F) return false;
    }
    name->assign(text, static_cast<size_t>(end - text));
    return true;
  }

 private:
  CLogFile& session;
  const uint32_t base;
  const uint32_t imageSize;
  uint32_t heldStart = 0;
  std::vector<uint8_t> held;
};

// The export directory's place and the sections, from the image's headers.
struct ImageLayout {
  uint32_t exportStart = 0;
  uint32_t exportSize = 0;
  uint32_t imageSize = 0;
  std::vector<Section> executable;
};

bool ReadLayout(CImageReader& image, ImageLayout* layout, std::string* problem) {
  uint8_t dos[kDosHeaderSize];
  if (!image.Read(0, sizeof dos, dos)) return Fail(problem, "headers unreadable");
  if (Word16(dos) != kDosMagic) return Fail(problem, "no MZ header");
  const uint32_t nt = Word32(dos + kNewHeaderField);
  uint8_t file[kNtHeaderSize];
  if (!image.Read(nt, sizeof file, file) || Word32(file) != kPeSignature) return Fail(problem, "no PE header");
  const uint32_t sectionCount = Word16(file + kSectionCountField);
  const uint32_t optionalSize = Word16(file + kOptionalSizeField);
  if (sectionCount > kMaxSections || optionalSize < kOptionalNeeded) return Fail(problem, "damaged PE header");
  uint8_t optional[kOptionalNeeded];
  if (!image.Read(nt + kNtHeaderSize, sizeof optional, optional) || Word16(optional) != kPe32Magic) {
    return Fail(problem, "no 32-bit optional header");
  }
  if (Word32(optional + kDirectoryCountField) == 0) return false;  // no directories at all
  layout->exportStart = Word32(optional + kExportEntryField);
  layout->exportSize = Word32(optional + kExportEntryField + 4);
  if (layout->exportStart == 0 || layout->exportSize == 0) return false;  // exports nothing
  const uint32_t declaredSize = Word32(optional + kImageSizeField);
  layout->imageSize = std::min(declaredSize, image.imageEnd());
  // A directory said to run past the image ends with it (forwarder texts lie inside it).
  if (layout->exportStart < layout->imageSize && layout->exportSize > layout->imageSize - layout->exportStart) {
    layout->exportSize = layout->imageSize - layout->exportStart;
  }

  std::vector<uint8_t> headers(sectionCount * kSectionHeaderSize);
  const uint64_t sectionTable = static_cast<uint64_t>(nt) + kNtHeaderSize + optionalSize;
  if (sectionTable > 0xFFFFFFFFu || !image.Read(static_cast<uint32_t>(sectionTable), headers.size(), headers.data())) {
    return Fail(problem, "section table unreadable");
  }
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint8_t* header = &headers[i * kSectionHeaderSize];
    if ((Word32(header + 36) & kSectionExecutable) == 0) continue;
    const uint32_t virtualSize = Word32(header + 8);
    const uint32_t start = Word32(header + 12);
    const uint64_t size = virtualSize != 0 ? virtualSize : Word32(header + 16);
    if (start >= layout->imageSize) continue;
    const uint64_t end = std::min<uint64_t>(start + size, layout->imageSize);
    if (end > start) layout->executable.push_back({start, static_cast<uint32_t>(end)});
  }
  return true;
}

const Section* ExecutableSectionOf(const ImageLayout& layout, uint32_t offset) {
  for (const Section& section : layout.executable) {
    if (offset >= section.start && offset < section.end) return &section;
  }
  return nullptr;
}

template <typename Element>
bool ReadArray(CImageReader& image, uint32_t offset, uint32_t count, std::vector<Element>* out) {
  std::vector<uint8_t> bytes(static_cast<size_t>(count) * sizeof(Element));
  if (!image.Read(offset, static_cast<uint32_t>(bytes.size()), bytes.data())) return false;
  out->resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* at = &bytes[i * sizeof(Element)];
    (*out)[i] = static_cast<Element>(sizeof(Element) == 2 ? Word16(at) : Word32(at));
  }
  return true;
}

}  // namespace

bool CExportTable::Read(CLogFile& session, const CModule& module, std::string* problem) {
  functions.clear();
  names.clear();
  problem->clear();
  // An image that would run past the top of the address space is cut there.
  const uint32_t imageSize = module.size <= 0xFFFFFFFFu - module.base ? module.size : 0xFFFFFFFFu - module.base;
  CImageReader image(session, module.base, imageSize);
  ImageLayout layout;
  if (!ReadLayout(image, &layout, problem)) return false;
  CImageReader exports(session, module.base, layout.imageSize);
  exports.Hold(layout.exportStart, layout.exportSize);

  uint8_t directory[kExportDirectorySize];
  if (!exports.Read(layout.exportStart, sizeof directory, directory)) return Fail(problem, "export directory unreadable");
  const uint32_t ordinalBase = Word32(directory + 16);
  const uint32_t functionCount = Word32(directory + 20);
  const uint32_t nameCount = Word32(directory + 24);
  if (functionCount > kMaxFunctions || nameCount > kMaxFunctions) return Fail(problem, "export counts too large");
  std::vector<uint32_t> addresses, nameAddresses;
  std::vector<uint16_t> nameOrdinals;
  if (!ReadArray(exports, Word32(directory + 28), functionCount, &addresses) ||
      !ReadArray(exports, Word32(directory + 32), nameCount, &nameAddresses) ||
      !ReadArray(exports, Word32(directory + 36), nameCount, &nameOrdinals)) {
    return Fail(problem, "export arrays outside the image");
  }

  // Only functions in executable sections count; one inside the export directory is a
  // forwarder text, not code.
  auto usable = [&](uint32_t offset) {
    const bool forwarded = offset - layout.exportStart < layout.exportSize;
    return offset != 0 && !forwarded && ExecutableSectionOf(layout, offset) != nullptr;
  };
  std::vector<uint32_t> nameOf(functionCount, kNoName);
  std::string name;
  for (uint32_t i = 0; i < nameCount; ++i) {
    const uint32_t index = nameOrdinals[i];
    if (index >= functionCount) return Fail(problem, "export name ordinal out of range");
    if (!usable(addresses[index])) continue;
    if (!exports.ReadName(nameAddresses[i], &name)) return Fail(problem, "bad export name");
    // Of two names for one function, the first in text order.
    if (nameOf[index] != kNoName && strcmp(names.c_str() + nameOf[index], name.c_str()) <= 0) continue;
    if (names.size() + name.size() + 1 > kMaxNameBytes) return Fail(problem, "export names too large");
    nameOf[index] = static_cast<uint32_t>(names.size());
    names.append(name).push_back('\0');
  }

  struct Candidate {
    uint32_t offset;
    uint32_t sectionEnd;
    uint32_t nameOffset;
    bool named;
  };
  std::vector<Candidate> candidates;
  for (uint32_t index = 0; index < functionCount; ++index) {
    const uint32_t offset = addresses[index];
    if (!usable(offset)) continue;
    uint32_t nameOffset = nameOf[index];
    const bool named = nameOffset != kNoName;
    if (!named) {
      char ordinal[16];
      snprintf(ordinal, sizeof ordinal, "#%u", static_cast<unsigned>(ordinalBase + index));
      nameOffset = static_cast<uint32_t>(names.size());
      names.append(ordinal).push_back('\0');
    }
    candidates.push_back({offset, ExecutableSectionOf(layout, offset)->end, nameOffset, named});
  }
  // Where several exports share an address, a name beats an ordinal, then text order decides.
  std::sort(candidates.begin(), candidates.end(), [&](const Candidate& a, const Candidate& b) {
    if (a.offset != b.offset) return a.offset < b.offset;
    if (a.named != b.named) return a.named;
    return strcmp(names.c_str() + a.nameOffset, names.c_str() + b.nameOffset) < 0;
  });
  for (size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& c = candidates[i];
    if (i > 0 && candidates[i - 1].offset == c.offset) continue;
    size_t next = i + 1;
    while (next < candidates.size() && candidates[next].offset == c.offset) ++next;
    const uint32_t end =
        next < candidates.size() && candidates[next].offset < c.sectionEnd ? candidates[next].offset : c.sectionEnd;
    functions.push_back({module.base + c.offset, end - c.offset, c.nameOffset});
  }
  return !functions.empty();
}

const ExportedFunction* CExportTable::FunctionAt(uint32_t address) const {
  auto after = std::upper_bound(functions.begin(), functions.end(), address,
                                [](uint32_t value, const ExportedFunction& f) { return value < f.address; });
  if (after == functions.begin()) return nullptr;
  const ExportedFunction& function = *(after - 1);
  return address - function.address < function.size ? &function : nullptr;
}

const ExportedFunction* CModuleExports::FunctionAt(CLogFile& session, uint32_t address, const char** name) {
  const CModule* module = nullptr;
  for (const CModule& candidate : session.modules) {
    if (address - candidate.base < candidate.size) {
      module = &candidate;
      break;
    }
  }
  if (module == nullptr) return nullptr;
  ModuleTable* entry = nullptr;
  for (ModuleTable& table : tables) {
    if (table.base == module->base && table.size == module->size) entry = &table;
  }
  if (entry == nullptr) {
    tables.push_back({module->base, module->size, CExportTable()});
    entry = &tables.back();
    std::string problem;
    if (!entry->table.Read(session, *module, &problem) && !problem.empty()) {
      session.Log("Exports of %s not used: %s", module->name.c_str(), problem.c_str());
    }
  }
  const ExportedFunction* function = entry->table.FunctionAt(address);
  if (function != nullptr) *name = entry->table.NameOf(*function);
  return function;
}
