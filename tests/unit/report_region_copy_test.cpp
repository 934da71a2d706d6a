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

// Bytes are written before the rule is known to keep them. A 4 MiB region whose last page
// cannot be read keeps 2 MiB by the rule: with 2.5 MiB free that fits, and the region succeeds
// although a write failed on the way; with 1.5 MiB free it fails after what fitted.
TEST(RegionCopy, FailedWriteIsForgivenWhenTheRuleKeepsLess) {
  struct Case {
    uint64_t free;
    bool copied;
    size_t fileSize;
  } const kCases[] = {{0x280000, true, 0x200000}, {0x200000, true, 0x200000}, {0x180000, false, 0x180000}};
  for (const Case& c : kCases) {
    SessionFixture f;
    std::vector<BYTE> bytes(0x400000 - kPage);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<BYTE>(i * 13 / 7);
    sim::AddRegion(0x10000000, 0x400000 - kPage).bytes = bytes;
    sim::AddRegion(0x10000000 + 0x400000 - kPage, kPage, PAGE_NOACCESS);
    sim::target().diskBytesLeft = c.free;
    const std::string name = f.dir + "/region.bin";
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    std::vector<uint8_t> chunk(kRegionChunkSize);
    EXPECT_EQ(CopyRegionToFile(*f.session, 0x10000000, 0x400000, RegionFile{file, name.c_str()}, chunk.data(),
                               kRegionChunkSize),
              c.copied)
        << c.free;
    CloseHandle(file);
    const std::string written = ReadWholeFile(name);
    ASSERT_EQ(written.size(), c.fileSize) << c.free;
    EXPECT_TRUE(written == std::string(bytes.begin(), bytes.begin() + c.fileSize)) << c.free;
    if (c.copied) {
      EXPECT_TRUE(f.log.lines.empty()) << c.free;
      EXPECT_EQ(f.session->failedWrites, 0u);
    } else {
      EXPECT_EQ(f.log.lines, std::vector<std::string>{"Dumpfile(" + name + ") write failed after 1572864 bytes (e=112)"});
      EXPECT_EQ(f.session->failedWrites, 1u);
    }
  }
}

// A report name whose ANSI form is longer than 260 bytes (three bytes a character here) is
// named whole in the failure lines.
TEST(RegionCopy, FailureLineNamesTheWholeFile) {
  LineRecorder log;
  const std::string dir = ScratchDir();
  std::string stem;
  for (int i = 0; i < 75; ++i) stem += "\xe6\x97\xa5";  // U+65E5
  const std::string reportPath = dir + "/" + stem + ".txt";
  sim::Reset();
  {
    CLogFile session(sim::WideText(reportPath).c_str(), log.pane);
    session.process = sim::target().processHandle;
    sim::AddRegion(0x00400000, 2 * kPage);
    sim::target().diskBytesLeft = kPage;
    DumpCommittedMemory(session);
  }
  ASSERT_GE(log.lines.size(), 2u);
  EXPECT_GT(reportPath.size() + 13, 260u);
  const size_t fitted = kPage - (log.lines[0].size() + 2);  // after the report's heading line
  EXPECT_EQ(log.lines[1],
            "Dumpfile(" + reportPath + ".00400000.bin) write failed after " + std::to_string(fitted) + " bytes (e=112)");
}

// Without memory for the walk's buffer a smaller one does: every region still gets its line
// and its whole file, read in pieces of the buffer's size.
TEST(RegionCopy, SmallerBufferWhenTheLargeOneCannotBeHad) {
  struct Case {
    SIZE_T limit;
    uint32_t readSize;
    size_t refusals;
  } const kCases[] = {{0x40000, 0x40000, 2}, {0, kPage, 8}};
  for (const Case& c : kCases) {
    SessionFixture f;
    std::vector<BYTE> bytes(0x100000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<BYTE>(i / 5);
    sim::AddRegion(0x00400000, 0x100000).bytes = bytes;
    sim::AddRegion(0x20000000, kPage);
    sim::target().ownAllocationLimit = c.limit;
    DumpCommittedMemory(*f.session);
    EXPECT_EQ(f.log.lines.size(), c.refusals + 2) << c.limit;
    EXPECT_EQ(f.log.lines[0], "No memory for a 1048576-byte buffer of the memory walk (e=8); trying 524288 bytes");
    EXPECT_EQ(f.log.lines[c.refusals], "*----> Commited Memory (0x00400000- 1048576) rw- P <----*");
    EXPECT_TRUE(ReadWholeFile(f.reportPath + ".00400000.bin") == std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(ReadWholeFile(f.reportPath + ".20000000.bin").size(), kPage);
    for (const auto& read : sim::Reads()) EXPECT_LE(read.second, c.readSize);
    EXPECT_EQ(f.session->failedWrites, 0u);
  }
}

}  // namespace
