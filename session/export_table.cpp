#include "session/export_table.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "session/pe_image.h"

namespace {

// Bounds that keep a damaged or hostile directory cheap. Name ordinals are 16-bit, so no
// real module exports more functions or names than this.
constexpr uint32_t kMaxFunctions = 0x10000;
constexpr uint32_t kMaxNameLength = 1024;  // what the symbol buffer holds; longer names are cut
constexpr uint32_t kMaxNameBytes = 1u << 20;
constexpr uint32_t kMaxPrefetch = 1u << 20;
constexpr uint32_t kNoName = 0xFFFFFFFF;
constexpr uint32_t kPageSize = 4096;

bool Fail(std::string* problem, const char* why) {
  *problem = why;
  return false;
}

struct Section {
  uint32_t start;  // relative to the image base
  uint32_t end;
};

// Reads of one module's image by offset from its base, never past its end.
class CImageReader {
 public:
  CImageReader(const TargetReader& reader, uint32_t base, uint32_t imageSize, const uint8_t* front,
               uint32_t frontCount)
      : reader(reader), base(base), imageSize(imageSize), front(front), frontCount(frontCount) {}

  uint32_t imageEnd() const { return imageSize; }
  bool Inside(uint32_t offset, uint64_t size) const { return offset <= imageSize && size <= imageSize - offset; }

  bool Read(uint32_t offset, uint32_t size, void* out) { return Inside(offset, size) && ReadFront(offset, size, out) == size; }

  // The bytes from offset on that can be read, up to size (none outside the image).
  uint32_t ReadFront(uint32_t offset, uint32_t size, void* out) {
    if (!Inside(offset, size) || size == 0) return 0;
    return FromTarget(offset, size, static_cast<uint8_t*>(out));
  }

  // Reads the whole pages under the bytes from offset on in one go, so that the target's page
  // cache serves every later read inside them: a module's exports then cost a few large reads,
  // not one per name.
  void Prefetch(uint32_t offset, uint32_t size) {
    if (!Inside(offset, size)) size = offset <= imageSize ? imageSize - offset : 0;
    if (size > kMaxPrefetch) size = kMaxPrefetch;
    const uint32_t first = offset - ((base + offset) & (kPageSize - 1));
    const uint64_t last = std::min<uint64_t>(((static_cast<uint64_t>(base) + offset + size + kPageSize - 1) &
                                              ~static_cast<uint64_t>(kPageSize - 1)) - base,
                                             imageSize);
    if (first > offset || last <= first) return;  // the image's base is not page-aligned
    std::vector<uint8_t> bytes(static_cast<size_t>(last - first));
    FromTarget(first, static_cast<uint32_t>(bytes.size()), bytes.data());
  }

  // A name of printable characters ended by a NUL inside the image, cut after kMaxNameLength.
  // Read a page at a time: a name that ends just before an unreadable page is still whole.
  bool ReadName(uint32_t offset, std::string* name) {
    if (!Inside(offset, 1)) return false;
    char text[kMaxNameLength + 1];
    const uint32_t room = std::min<uint32_t>(imageSize - offset, sizeof text);
    uint32_t count = 0;
    const char* end = nullptr;
    while (count < room && end == nullptr) {
      const uint32_t at = offset + count;
      const uint32_t pageLeft = kPageSize - ((base + at) & (kPageSize - 1));
      const uint32_t piece = std::min(room - count, pageLeft);
      const uint32_t got = ReadFront(at, piece, text + count);
      end = static_cast<const char*>(memchr(text + count, 0, got));
      count += got;
      if (got < piece) break;
    }
    if (end == nullptr && count == sizeof text) end = text + kMaxNameLength;
    if (end == nullptr || end == text) return false;
    for (const char* c = text; c < end; ++c) {
      if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F) return false;
    }
    name->assign(text, static_cast<size_t>(end - text));
    return true;
  }

 private:
  uint32_t FromTarget(uint32_t offset, uint32_t size, uint8_t* out) {
    if (size == 0) return 0;
    // The header page the caller read already holds the same bytes as the target.
    if (offset < frontCount && size <= frontCount - offset) {
      memcpy(out, front + offset, size);
      return size;
    }
    uint32_t count = 0;
    if (!reader.Read(base + offset, out, size, &count)) return 0;
    return std::min(count, size);
  }

  const TargetReader& reader;
  const uint32_t base;
  const uint32_t imageSize;
  const uint8_t* const front;  // the image's first frontCount bytes, already read
  const uint32_t frontCount;
};

// The export directory's place, the executable sections and the data the image places by its
// data directories, from the image's headers.
struct ImageLayout {
  uint32_t exportStart = 0;
  uint32_t exportSize = 0;
  uint32_t imageSize = 0;
  std::vector<Section> executable;
  std::vector<Section> data;  // every data directory's range, the export directory's too
};

bool ReadHeaders(CImageReader& image, pe::Headers* headers, std::string* problem) {
  auto read = [&image](uint32_t offset, uint32_t size, void* out) { return image.Read(offset, size, out); };
  switch (pe::ReadFileHeader(read, headers)) {
    case pe::Fault::kNone: break;
    case pe::Fault::kNoMz: return Fail(problem, "no MZ header");
    case pe::Fault::kNoPe: return Fail(problem, "no PE header");
    default: return Fail(problem, "headers unreadable");
  }
  switch (pe::ReadOptionalHeader(read, headers)) {
    case pe::Fault::kNone: return true;
    case pe::Fault::kDamaged: return Fail(problem, "damaged PE header");
    default: return Fail(problem, "no 32-bit optional header");
  }
}

// Every data directory's range inside the image, but those two that give file offsets.
void AddDataRanges(const pe::Headers& headers, ImageLayout* layout) {
  for (uint32_t i = 0; i < headers.directoryCount; ++i) {
    if (i == IMAGE_DIRECTORY_ENTRY_SECURITY || i == IMAGE_DIRECTORY_ENTRY_BOUND_IMPORT) continue;
    const uint32_t start = headers.optional.DataDirectory[i].VirtualAddress;
    const uint64_t size = headers.optional.DataDirectory[i].Size;
    if (start == 0 || size == 0 || start >= layout->imageSize) continue;
    layout->data.push_back({start, static_cast<uint32_t>(std::min<uint64_t>(start + size, layout->imageSize))});
  }
}

bool ReadLayout(CImageReader& image, ImageLayout* layout, std::string* problem) {
  pe::Headers headers;
  if (!ReadHeaders(image, &headers, problem)) return false;
  const IMAGE_DATA_DIRECTORY* exports = headers.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  if (exports == nullptr) return false;  // no directories at all
  layout->exportStart = exports->VirtualAddress;
  layout->exportSize = exports->Size;
  if (layout->exportStart == 0 || layout->exportSize == 0) return false;  // exports nothing
  layout->imageSize = std::min<uint32_t>(headers.optional.SizeOfImage, image.imageEnd());
  // A directory said to run past the image ends with it (forwarder texts lie inside it).
  if (layout->exportStart < layout->imageSize && layout->exportSize > layout->imageSize - layout->exportStart) {
    layout->exportSize = layout->imageSize - layout->exportStart;
  }
  AddDataRanges(headers, layout);
  auto read = [&image](uint32_t offset, uint32_t size, void* out) { return image.Read(offset, size, out); };
  if (pe::ReadSectionTable(read, &headers) != pe::Fault::kNone) return Fail(problem, "section table unreadable");
  for (const IMAGE_SECTION_HEADER& header : headers.sections) {
    Section section;
    if (pe::ExecutableSpan(header, layout->imageSize, &section.start, &section.end)) layout->executable.push_back(section);
  }
  return true;
}

const Section* SectionOf(const std::vector<Section>& sections, uint32_t offset) {
  for (const Section& section : sections) {
    if (offset >= section.start && offset < section.end) return &section;
  }
  return nullptr;
}

// Where the code that starts at offset (in an executable section, outside every data range)
// must end at the latest: its section's end or the start of the next data range in it.
uint32_t CodeEnd(const ImageLayout& layout, uint32_t offset) {
  uint32_t end = SectionOf(layout.executable, offset)->end;
  for (const Section& range : layout.data) {
    if (range.start > offset && range.start < end) end = range.start;
  }
  return end;
}

// The elements of an array that can be read from its start (as many as the bytes read hold
// whole); false when the array does not lie inside the image at all.
template <typename Element>
bool ReadArray(CImageReader& image, uint32_t offset, uint32_t count, std::vector<Element>* out) {
  const uint64_t size = static_cast<uint64_t>(count) * sizeof(Element);
  if (!image.Inside(offset, size)) return false;
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  const uint32_t read = image.ReadFront(offset, static_cast<uint32_t>(size), bytes.data());
  out->resize(read / sizeof(Element));
  for (size_t i = 0; i < out->size(); ++i) {
    const uint8_t* at = &bytes[i * sizeof(Element)];
    (*out)[i] = static_cast<Element>(sizeof(Element) == 2 ? pe::Word16(at) : pe::Word32(at));
  }
  return true;
}

void AppendNote(std::string* notes, const char* format, uint32_t count) {
  char note[96];
  snprintf(note, sizeof note, format, static_cast<unsigned>(count));
  if (!notes->empty()) notes->append(", ");
  notes->append(note);
}

// The export directory and its three arrays, as far as they can be read.
struct ExportArrays {
  uint32_t ordinalBase = 0;
  uint32_t functionCount = 0;  // as the directory gives it; addresses may hold fewer
  uint32_t namesRead = 0;      // names whose address and ordinal could both be read
  std::vector<uint32_t> addresses, nameAddresses;
  std::vector<uint16_t> nameOrdinals;
};

// False with *problem set when the directory cannot be used; *notes gets what of its arrays
// is unreadable (of arrays that reach unreadable memory, the readable fronts are used).
bool ReadExportArrays(CImageReader& exports, uint32_t start, ExportArrays* arrays, std::string* notes,
                      std::string* problem) {
  IMAGE_EXPORT_DIRECTORY directory;
  if (!exports.Read(start, sizeof directory, &directory)) return Fail(problem, "export directory unreadable");
  arrays->ordinalBase = directory.Base;
  arrays->functionCount = directory.NumberOfFunctions;
  const uint32_t nameCount = directory.NumberOfNames;
  if (arrays->functionCount > kMaxFunctions || nameCount > kMaxFunctions) return Fail(problem, "export counts too large");
  if (!ReadArray(exports, directory.AddressOfFunctions, arrays->functionCount, &arrays->addresses) ||
      !ReadArray(exports, directory.AddressOfNames, nameCount, &arrays->nameAddresses) ||
      !ReadArray(exports, directory.AddressOfNameOrdinals, nameCount, &arrays->nameOrdinals)) {
    return Fail(problem, "export arrays outside the image");
  }
  if (arrays->addresses.size() < arrays->functionCount) {
    AppendNote(notes, "%u functions unreadable", arrays->functionCount - static_cast<uint32_t>(arrays->addresses.size()));
  }
  arrays->namesRead = static_cast<uint32_t>(std::min(arrays->nameAddresses.size(), arrays->nameOrdinals.size()));
  if (arrays->namesRead < nameCount) AppendNote(notes, "%u names unreadable", nameCount - arrays->namesRead);
  return true;
}

// Only code counts: a function in an executable section, neither inside the export directory
// (a forwarder text) nor inside another data directory (data the image keeps in a code
// section, such as its import address table).
bool IsCode(const ImageLayout& layout, uint32_t offset) {
  return offset != 0 && SectionOf(layout.executable, offset) != nullptr && SectionOf(layout.data, offset) == nullptr;
}

// One export as a candidate for its address; several may share one.
struct Candidate {
  uint32_t offset;
  uint32_t codeEnd;
  uint32_t nameOffset;
  bool named;
};

// The functions from their candidates sorted by address: one per address, each up to the next
// one's start or the end of its code.
void KeepOnePerAddress(const std::vector<Candidate>& candidates, uint32_t base, std::vector<ExportedFunction>* functions) {
  for (size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& c = candidates[i];
    if (i > 0 && candidates[i - 1].offset == c.offset) continue;
    size_t next = i + 1;
    while (next < candidates.size() && candidates[next].offset == c.offset) ++next;
    const uint32_t end =
        next < candidates.size() && candidates[next].offset < c.codeEnd ? candidates[next].offset : c.codeEnd;
    functions->push_back({base + c.offset, end - c.offset, c.nameOffset});
  }
}

// The name of each function, an offset into names (kNoName for none); false with *problem set
// when the names outgrow their bound.
bool NameFunctions(CImageReader& exports, const ImageLayout& layout, const ExportArrays& arrays, std::string* names,
                   std::vector<uint32_t>* nameOf, std::string* notes, std::string* problem) {
  nameOf->assign(arrays.addresses.size(), kNoName);
  std::string name;
  uint32_t badNames = 0, badOrdinals = 0;
  for (uint32_t i = 0; i < arrays.namesRead; ++i) {
    const uint32_t index = arrays.nameOrdinals[i];
    if (index >= arrays.functionCount) {
      ++badOrdinals;
      continue;
    }
    if (index >= arrays.addresses.size() || !IsCode(layout, arrays.addresses[index])) continue;
    if (!exports.ReadName(arrays.nameAddresses[i], &name)) {
      ++badNames;
      continue;
    }
    // Of two names for one function, the first in text order.
    uint32_t& known = (*nameOf)[index];
    if (known != kNoName && strcmp(names->c_str() + known, name.c_str()) <= 0) continue;
    if (names->size() + name.size() + 1 > kMaxNameBytes) return Fail(problem, "export names too large");
    known = static_cast<uint32_t>(names->size());
    names->append(name).push_back('\0');
  }
  if (badOrdinals > 0) AppendNote(notes, "%u name ordinals out of range", badOrdinals);
  if (badNames > 0) AppendNote(notes, "%u bad names", badNames);
  return true;
}

// The functions that are code, "#N" for those without a name, one per address.
void CollectFunctions(const ImageLayout& layout, const ExportArrays& arrays, const std::vector<uint32_t>& nameOf,
                      uint32_t base, std::string* names, std::vector<ExportedFunction>* functions) {
  std::vector<Candidate> candidates;
  for (uint32_t index = 0; index < arrays.addresses.size(); ++index) {
    const uint32_t offset = arrays.addresses[index];
    if (!IsCode(layout, offset)) continue;
    uint32_t nameOffset = nameOf[index];
    const bool named = nameOffset != kNoName;
    if (!named) {
      char ordinal[16];
      snprintf(ordinal, sizeof ordinal, "#%u", static_cast<unsigned>(arrays.ordinalBase + index));
      nameOffset = static_cast<uint32_t>(names->size());
      names->append(ordinal).push_back('\0');
    }
    candidates.push_back({offset, CodeEnd(layout, offset), nameOffset, named});
  }
  // Where several exports share an address, a name beats an ordinal, then text order decides.
  std::sort(candidates.begin(), candidates.end(), [&](const Candidate& a, const Candidate& b) {
    if (a.offset != b.offset) return a.offset < b.offset;
    if (a.named != b.named) return a.named;
    return strcmp(names->c_str() + a.nameOffset, names->c_str() + b.nameOffset) < 0;
  });
  KeepOnePerAddress(candidates, base, functions);
}

}  // namespace

bool CExportTable::Read(const TargetReader& reader, uint32_t base, uint32_t moduleSize, std::string* problem,
                        const uint8_t* front, uint32_t frontCount) {
  functions.clear();
  names.clear();
  problem->clear();
  // An image that would run past the top of the address space is cut there.
  const uint32_t imageSize = moduleSize <= 0xFFFFFFFFu - base ? moduleSize : 0xFFFFFFFFu - base;
  CImageReader image(reader, base, imageSize, front, frontCount);
  ImageLayout layout;
  if (!ReadLayout(image, &layout, problem)) return false;
  CImageReader exports(reader, base, layout.imageSize, front, frontCount);
  exports.Prefetch(layout.exportStart, layout.exportSize);

  ExportArrays arrays;
  std::string notes;
  if (!ReadExportArrays(exports, layout.exportStart, &arrays, &notes, problem)) return false;
  std::vector<uint32_t> nameOf;
  if (!NameFunctions(exports, layout, arrays, &names, &nameOf, &notes, problem)) return false;
  CollectFunctions(layout, arrays, nameOf, base, &names, &functions);
  *problem = notes;
  return !functions.empty();
}

const ExportedFunction* CExportTable::FunctionAt(uint32_t address) const {
  auto after = std::upper_bound(functions.begin(), functions.end(), address,
                                [](uint32_t value, const ExportedFunction& f) { return value < f.address; });
  if (after == functions.begin()) return nullptr;
  const ExportedFunction& function = *(after - 1);
  return address - function.address < function.size ? &function : nullptr;
}
