#include "tools/pe_resource.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/unit/pe_image.h"

namespace {

// A 32-bit PE file with one section .rsrc holding a resource tree of three levels (type,
// id, language) and the data of each resource, as a resource compiler lays it out.
constexpr uint32_t kPe = 0x80;
constexpr uint32_t kOptional = kPe + 24;
constexpr uint32_t kSectionTable = kOptional + 224;
constexpr uint32_t kRsrcAddress = 0x1000;
constexpr uint32_t kRsrcFile = 0x200;
constexpr uint32_t kRsrcSize = 0x400;

struct Resource {
  uint32_t type;
  uint32_t id;
  std::string data;
};

// The bytes and their little-endian writers as for the loaded images of the stand-in.
struct PeFile : pe_image::Image {
  uint32_t dataEntries = 0;  // file offset of the first 16-byte data entry
};

// Resources come sorted by type: one root entry per type, with an id directory listing
// that type's ids, each with one language (0x409). A named entry (0x80000000 | name
// offset) comes before the numbered ones at the root when named is set.
PeFile Build(const std::vector<Resource>& resources, bool named = false) {
  PeFile file;
  file.bytes.assign(kRsrcFile + kRsrcSize, 0);
  file.Put16(0, 0x5A4D);  // "MZ"
  file.Put32(0x3C, kPe);
  file.Put32(kPe, 0x00004550);
  file.Put16(kPe + 4, 0x14C);
  file.Put16(kPe + 6, 1);     // sections
  file.Put16(kPe + 20, 224);  // optional header size
  file.Put16(kOptional, 0x10B);
  file.Put32(kOptional + 92, 16);  // data directories
  file.Put32(kOptional + 96 + 16, kRsrcAddress);
  file.Put32(kOptional + 96 + 20, kRsrcSize);
  memcpy(&file.bytes[kSectionTable], ".rsrc\0\0\0", 8);
  file.Put32(kSectionTable + 8, kRsrcSize);
  file.Put32(kSectionTable + 12, kRsrcAddress);
  file.Put32(kSectionTable + 16, kRsrcSize);
  file.Put32(kSectionTable + 20, kRsrcFile);

  std::vector<uint32_t> types;
  for (const Resource& resource : resources) {
    if (types.empty() || types.back() != resource.type) types.push_back(resource.type);
  }
  const uint32_t n = static_cast<uint32_t>(resources.size());
  const uint32_t extra = named ? 1 : 0;
  // Offsets from the root: the root, the id directories, the language directories (24
  // bytes each), the data entries, the data.
  const uint32_t root = kRsrcFile;
  uint32_t idDirectory = 16 + 8 * (static_cast<uint32_t>(types.size()) + extra);
  uint32_t languageDirectory = idDirectory + 16 * static_cast<uint32_t>(types.size()) + 8 * n;
  const uint32_t dataEntries = languageDirectory + 24 * n;
  uint32_t data = dataEntries + 16 * n;
  file.dataEntries = root + dataEntries;
  file.Put16(root + 12, extra);
  file.Put16(root + 14, static_cast<uint32_t>(types.size()));
  if (named) {
    file.Put32(root + 16, 0x80000000u | 0x300);
    file.Put32(root + 20, 0x80000000u | idDirectory);  // a directory the lookup of a number never enters
  }
  uint32_t i = 0;
  for (size_t t = 0; t < types.size(); ++t) {
    const uint32_t typeEntry = root + 16 + 8 * (static_cast<uint32_t>(t) + extra);
    file.Put32(typeEntry, types[t]);
    file.Put32(typeEntry + 4, 0x80000000u | idDirectory);
    uint32_t ids = 0;
    for (; i < n && resources[i].type == types[t]; ++i, ++ids, languageDirectory += 24) {
      const uint32_t idEntry = root + idDirectory + 16 + 8 * ids;
      file.Put32(idEntry, resources[i].id);
      file.Put32(idEntry + 4, 0x80000000u | languageDirectory);
      file.Put16(root + languageDirectory + 14, 1);
      file.Put32(root + languageDirectory + 16, 0x409);
      file.Put32(root + languageDirectory + 20, dataEntries + 16 * i);
      file.Put32(root + dataEntries + 16 * i, kRsrcAddress + data);
      file.Put32(root + dataEntries + 16 * i + 4, static_cast<uint32_t>(resources[i].data.size()));
      memcpy(&file.bytes[root + data], resources[i].data.data(), resources[i].data.size());
      data += (static_cast<uint32_t>(resources[i].data.size()) + 3) & ~3u;
    }
    file.Put16(root + idDirectory + 14, ids);
    idDirectory += 16 + 8 * ids;
  }
  return file;
}

std::string Find(const PeFile& file, uint32_t type, uint32_t id, bool* found) {
  std::vector<uint8_t> data;
  *found = FindPeResource(file.bytes, type, id, &data);
  return std::string(data.begin(), data.end());
}

const std::vector<Resource> kProgram = {
    {3, 1, "icon"}, {6, 1, "strings"}, {24, 1, "<assembly>manifest</assembly>"}, {24, 2, "<isolation/>"}};

TEST(PeResource, FindsEachResourceByTypeAndId) {
  const PeFile file = Build(kProgram);
  struct Case {
    uint32_t type, id;
    bool found;
    const char* data;
  };
  const Case cases[] = {
      {kPeResourceManifest, kPeManifestProcess, true, "<assembly>manifest</assembly>"},
      {24, 2, true, "<isolation/>"},
      {3, 1, true, "icon"},
      {6, 1, true, "strings"},
      {24, 3, false, ""},
      {5, 1, false, ""},
  };
  for (const Case& c : cases) {
    bool found = false;
    const std::string data = Find(file, c.type, c.id, &found);
    EXPECT_EQ(found, c.found) << c.type << "/" << c.id;
    EXPECT_EQ(data, c.data) << c.type << "/" << c.id;
  }
}

TEST(PeResource, NamedEntriesAtTheRootAreSkipped) {
  const PeFile file = Build({{24, 1, "<assembly/>"}}, true);
  bool found = false;
  EXPECT_EQ(Find(file, 24, 1, &found), "<assembly/>");
  EXPECT_TRUE(found);
}

TEST(PeResource, NoResourceDirectoryOrNoPeImage) {
  PeFile file = Build(kProgram);
  PeFile noDirectory = file;
  noDirectory.Put32(kOptional + 96 + 16, 0);
  PeFile fewDirectories = file;
  fewDirectories.Put32(kOptional + 92, 2);
  PeFile notPe = file;
  notPe.Put32(kPe, 0x00004551);
  PeFile pe64 = file;
  pe64.Put16(kOptional, 0x20B);
  PeFile empty;
  for (const PeFile* bad : {&noDirectory, &fewDirectories, &notPe, &pe64, &empty}) {
    bool found = true;
    Find(*bad, 24, 1, &found);
    EXPECT_FALSE(found);
  }
}

// Offsets that point outside the file, the section or the resource directory, and data
// entries where a directory belongs (and the reverse), are refused without reading there.
TEST(PeResource, DamagedOffsetsAreRefused) {
  const PeFile good = Build(kProgram);
  const uint32_t manifestEntry = good.dataEntries + 16 * 2;
  const uint32_t rootEntry2 = kRsrcFile + 16 + 8 * 2;  // the type 24 entry
  struct Damage {
    const char* what;
    size_t at;
    uint32_t value;
  };
  const Damage damages[] = {
      {"data address before the section", manifestEntry, kRsrcAddress - 4},
      {"data address after the section", manifestEntry, kRsrcAddress + kRsrcSize},
      {"data running past the section", manifestEntry + 4, kRsrcSize},
      {"data size wrapping around", manifestEntry + 4, 0xFFFFFFF0u},
      {"subdirectory past the resource directory", rootEntry2 + 4, 0x80000000u | (kRsrcSize - 8)},
      {"subdirectory far outside", rootEntry2 + 4, 0xFFFFFFFFu},
      {"data entry where a directory belongs", rootEntry2 + 4, 0x40},
      {"section raw data past the file", kSectionTable + 20, 0x10000},
      {"section table past the file", kPe + 20, 0xFFF0},
      {"resource directory size past the section", kOptional + 96 + 20, kRsrcSize + 1},
  };
  for (const Damage& damage : damages) {
    PeFile file = good;
    if (damage.at == kPe + 20) {
      file.Put16(damage.at, damage.value);
    } else {
      file.Put32(damage.at, damage.value);
    }
    bool found = true;
    const std::string data = Find(file, 24, 1, &found);
    EXPECT_FALSE(found) << damage.what << ": " << data;
  }
}

TEST(PeResource, EntryCountPastTheFileEndsTheSearch) {
  PeFile file = Build(kProgram);
  file.Put16(kRsrcFile + 14, 0xFFFF);
  bool found = false;
  EXPECT_EQ(Find(file, 24, 1, &found), "<assembly>manifest</assembly>");
  EXPECT_TRUE(found);
  found = true;
  Find(file, 25, 1, &found);
  EXPECT_FALSE(found);
}

TEST(PeResource, TruncatedFileIsRefusedAtEveryLength) {
  const PeFile good = Build({{24, 1, "<assembly/>"}});
  bool found = false;
  Find(good, 24, 1, &found);
  ASSERT_TRUE(found);
  // The section's raw data reaches the end of the file: any cut leaves it short.
  for (size_t length = 0; length < good.bytes.size(); length += 7) {
    PeFile cut = good;
    cut.bytes.resize(length);
    found = true;
    Find(cut, 24, 1, &found);
    EXPECT_FALSE(found) << length;
  }
}

}  // namespace
