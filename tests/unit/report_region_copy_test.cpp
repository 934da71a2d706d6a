// The chunked copy of a region into its dump file against the whole-region rule: one buffer
// of the region's size, one read of it, halved until a read succeeds.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>

#include "report/memory_dump.h"
#include "report/region_copy.h"
#include "session/exit_status.h"
#include "test_support.h"

namespace {

constexpr DWORD kPage = 4096;

// The rule as it reads: the whole region into one buffer, the request halved after each
// failure until a request of 8 bytes or fewer has failed.
std::string WholeRegionRule(DWORD base, DWORD size) {
  std::vector<BYTE> buffer(size);
  for (DWORD request = size;; request /= 2) {
    SIZE_T count = 0;
    if (ReadProcessMemory(sim::target().processHandle, reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(base)),
                          buffer.data(), request, &count)) {
      return std::string(buffer.begin(), buffer.begin() + request);
    }
    if (request <= 8) return std::string();
  }
}

std::string Chunked(SessionFixture& f, DWORD base, DWORD size, uint32_t chunkSize) {
  std::string name = f.dir + "/chunked.bin";
  HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  std::vector<uint8_t> chunk(chunkSize);
  EXPECT_TRUE(CopyRegionToFile(*f.session, base, size, RegionFile{file, name.c_str()}, chunk.data(), chunkSize));
  CloseHandle(file);
  return ReadWholeFile(name);
}

struct Layout {
  DWORD base;
  DWORD size;
};

// Pieces of random protection one after another: readable with a pattern, no access, guarded,
// reserved, or a gap; sizes in whole pages mostly, some odd.
Layout RandomLayout(std::mt19937& random) {
  sim::target().regions.clear();
  DWORD base = 0x10000000 + (random() % 64) * kPage;
  DWORD at = base;
  int pieces = 1 + static_cast<int>(random() % 6);
  for (int i = 0; i < pieces; ++i) {
    DWORD size = (random() % 4 == 0) ? 1 + random() % (3 * kPage) : kPage * (1 + random() % 48);
    switch (random() % 6) {
      case 0: sim::AddRegion(at, size, PAGE_NOACCESS); break;
      case 1: sim::AddRegion(at, size, PAGE_READWRITE | PAGE_GUARD); break;
      case 2: sim::AddRegion(at, size, PAGE_READWRITE, MEM_PRIVATE, MEM_RESERVE); break;
      case 3: break;  // a gap
      default: {
        std::vector<BYTE> bytes(size);
        for (BYTE& b : bytes) b = static_cast<BYTE>(random());
        sim::AddRegion(at, size).bytes = bytes;
      }
    }
    at += size;
  }
  // The region asked about ends anywhere from inside the first piece to past the last.
  DWORD size = 1 + random() % (at - base + 2 * kPage);
  return {base, size};
}

std::vector<std::tuple<DWORD, DWORD, DWORD>> Protections() {
  std::vector<std::tuple<DWORD, DWORD, DWORD>> regions;
  for (const sim::Region& r : sim::target().regions) regions.emplace_back(r.base, r.size, r.protect);
  return regions;
}

TEST(RegionCopy, ChunkedCopyEqualsTheWholeRegionRuleOnRandomLayouts) {
  SessionFixture f;
  std::mt19937 random(20261209);
  const uint32_t chunkSizes[] = {kPage, 3 * kPage, 0x10000, kRegionChunkSize, 1000};
  int partial = 0, empty = 0;
  for (int round = 0; round < 300; ++round) {
    Layout layout = RandomLayout(random);
    sim::Target before = sim::target();
    std::string expected = WholeRegionRule(layout.base, layout.size);
    auto guardsAfterRule = Protections();
    sim::target() = before;
    uint32_t chunkSize = chunkSizes[round % 5];
    std::string got = Chunked(f, layout.base, layout.size, chunkSize);
    ASSERT_EQ(got.size(), expected.size()) << "round " << round << " chunk " << chunkSize;
    ASSERT_TRUE(got == expected) << "round " << round;
    // Guard pages touched exactly as the single reads of the rule touch them.
    ASSERT_EQ(Protections(), guardsAfterRule) << "round " << round;
    partial += !expected.empty() && expected.size() < layout.size;
    empty += expected.empty();
  }
  // The layouts reach every outcome.
  EXPECT_GT(partial, 30);
  EXPECT_GT(empty, 30);
  EXPECT_EQ(f.session->failedWrites, 0u);
}

TEST(RegionCopy, NoReadIsLargerThanOneChunk) {
  SessionFixture f;
  sim::AddRegion(0x20000000, 64u << 20);
  sim::target().maximumApplicationAddress = 0x7FFEFFFF;
  DumpCommittedMemory(*f.session);
  EXPECT_EQ(sim::Reads().size(), 64u);
  for (const auto& read : sim::Reads()) EXPECT_EQ(read.second, kRegionChunkSize);
  struct stat info;
  ASSERT_EQ(stat((f.reportPath + ".20000000.bin").c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 64 << 20);
}

// A region that reads whole only up to its middle is written a chunk at a time past the middle
// and then cut back, as the rule keeps the half.
TEST(RegionCopy, PartReadableRegionIsCutToTheHalf) {
  SessionFixture f;
  std::vector<BYTE> bytes(12 * kPage);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<BYTE>(i / 7);
  sim::AddRegion(0x30000000, 12 * kPage).bytes = bytes;
  sim::AddRegion(0x3000C000, 4 * kPage, PAGE_NOACCESS);
  std::string got = Chunked(f, 0x30000000, 16 * kPage, kPage);
  EXPECT_EQ(got, std::string(bytes.begin(), bytes.begin() + 8 * kPage));
  EXPECT_EQ(sim::Calls("SetEndOfFile"), 1);
}

// The disk fills in the middle of a chunk: the write fails there, or (as a POSIX write does)
// succeeds short and the next one fails; the lines are the same.
class FullDisk : public testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(RegionCopy, FullDisk, testing::Values(false, true));

TEST_P(FullDisk, LogsTheFileTheBytesAndTheErrorAndTheWalkGoesOn) {
  SessionFixture f;
  sim::target().shortWritesWhenFull = GetParam();
  sim::AddRegion(0x00400000, 2 * kPage);
  sim::AddRegion(0x10000000, 0x300000);
  sim::AddRegion(0x20000000, kPage);
  sim::target().diskBytesLeft = 0x180000;  // the report lines need far less
  DumpCommittedMemory(*f.session);
  std::string second = f.reportPath + ".10000000.bin", third = f.reportPath + ".20000000.bin";
  const std::string heading = "*----> Commited Memory (0x";
  ASSERT_EQ(f.log.lines.size(), 6u);
  EXPECT_EQ(f.log.lines[0], heading + "00400000-    8192) rw- P <----*");
  EXPECT_EQ(f.log.lines[1], heading + "10000000- 3145728) rw- P <----*");
  // What fitted after the first file and the two report lines.
  size_t fitted = 0x180000 - 2 * kPage - (f.log.lines[0].size() + 2) - (f.log.lines[1].size() + 2);
  EXPECT_EQ(f.log.lines[2], "Dumpfile(" + second + ") write failed after " + std::to_string(fitted) + " bytes (e=112)");
  EXPECT_EQ(f.log.lines[3], heading + "20000000-    4096) rw- P <----*");
  EXPECT_EQ(f.log.lines[4], "Write to report " + f.reportPath + " failed (e=112)");
  EXPECT_EQ(f.log.lines[5], "Dumpfile(" + third + ") write failed after 0 bytes (e=112)");
  EXPECT_EQ(ReadWholeFile(second).size(), fitted);
  EXPECT_EQ(ReadWholeFile(third).size(), 0u);
  EXPECT_EQ(f.session->failedWrites, 3u);  // the second file, the third heading, the third file
}

}  // namespace
