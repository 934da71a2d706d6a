// The committed-memory walk: one report and pane line and one file per committed region.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "report/memory_dump.h"
#include "session/exit_status.h"
#include "test_support.h"

namespace {

constexpr DWORD kPage = 4096;

std::vector<BYTE> Pattern(DWORD size, DWORD seed) {
  std::vector<BYTE> bytes(size);
  for (DWORD i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>((i * 7 + seed) & 0xFF);
  return bytes;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

std::string DumpFile(const SessionFixture& f, DWORD base) {
  char suffix[32];
  snprintf(suffix, sizeof suffix, ".%08X.bin", base);
  return f.reportPath + suffix;
}

std::string Bytes(const std::vector<BYTE>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(MemoryDump, LinesFilesProtectionTextsAndTypeLetters) {
  SessionFixture f;
  std::vector<BYTE> image = Pattern(kPage, 1), pattern = Pattern(0x10000, 3);
  sim::AddRegion(0x00010000, 0x10000, PAGE_READWRITE, MEM_PRIVATE, MEM_RESERVE);  // reserved: passed over
  sim::AddRegion(0x00400000, kPage, PAGE_READONLY, MEM_IMAGE).bytes = image;
  sim::AddRegion(0x00401000, 3 * kPage, PAGE_EXECUTE_READ, MEM_IMAGE);
  sim::AddRegion(0x00404000, kPage, PAGE_WRITECOPY, MEM_IMAGE);
  sim::AddRegion(0x00405000, kPage, PAGE_EXECUTE_WRITECOPY, MEM_IMAGE);
  sim::AddRegion(0x00406000, kPage, PAGE_EXECUTE, MEM_IMAGE);
  sim::AddRegion(0x00410000, kPage, PAGE_EXECUTE_READWRITE, MEM_MAPPED);
  sim::AddRegion(0x10000000, 0x10000).bytes = pattern;
  sim::AddRegion(0x10100000, 2 * kPage, PAGE_NOACCESS);
  sim::Region& guard = sim::AddRegion(0x10200000, kPage, PAGE_READWRITE | PAGE_GUARD);
  guard.allocationProtect = PAGE_READWRITE | PAGE_GUARD;
  sim::Region& nocache = sim::AddRegion(0x10300000, kPage, PAGE_READWRITE | PAGE_NOCACHE);
  nocache.allocationProtect = PAGE_READONLY | PAGE_NOCACHE;
  // The allocation's protection counts, not the current one.
  sim::AddRegion(0x10400000, kPage, PAGE_READWRITE).allocationProtect = PAGE_EXECUTE_READWRITE;
  sim::AddRegion(0x10500000, kPage, PAGE_READWRITE).allocationProtect = PAGE_READONLY | PAGE_READWRITE;
  sim::AddRegion(0x10600000, kPage, PAGE_READWRITE).allocationProtect = 0;
  DumpCommittedMemory(*f.session);
  const std::vector<std::string> lines = {
      "*----> Commited Memory (0x00400000-    4096) r-- I <----*",
      "*----> Commited Memory (0x00401000-   12288) r-x I <----*",
      "*----> Commited Memory (0x00404000-    4096) -c- I <----*",
      "*----> Commited Memory (0x00405000-    4096) rcx I <----*",
      "*----> Commited Memory (0x00406000-    4096) --x I <----*",
      "*----> Commited Memory (0x00410000-    4096) rwx M <----*",
      "*----> Commited Memory (0x10000000-   65536) rw- P <----*",
      "*----> Commited Memory (0x10100000-    8192) --- P <----*",
      "*----> Commited Memory (0x10200000-    4096) rw- P <----*",
      "*----> Commited Memory (0x10300000-    4096) r-- P <----*",
      "*----> Commited Memory (0x10400000-    4096) rwx P <----*",
      "*----> Commited Memory (0x10500000-    4096) --- P <----*",
      "*----> Commited Memory (0x10600000-    4096) --- P <----*",
  };
  EXPECT_EQ(f.log.lines, lines);
  std::string report;
  for (const std::string& line : lines) report += line + "\r\n";
  EXPECT_EQ(ReadWholeFile(DumpFile(f, 0x00400000)), Bytes(image));
  EXPECT_EQ(ReadWholeFile(DumpFile(f, 0x00401000)), std::string(3 * kPage, '\0'));
  EXPECT_EQ(ReadWholeFile(DumpFile(f, 0x10000000)), Bytes(pattern));
  EXPECT_TRUE(FileExists(DumpFile(f, 0x10100000)));
  EXPECT_EQ(ReadWholeFile(DumpFile(f, 0x10100000)), "");  // no access: an empty file
  // A guard page fails the first read and clears; the half that is asked next reads.
  EXPECT_EQ(ReadWholeFile(DumpFile(f, 0x10200000)), std::string(kPage / 2, '\0'));
  EXPECT_FALSE(FileExists(DumpFile(f, 0x00010000)));
  // Regions go straight to the platform and leave the read cache empty.
  EXPECT_EQ(f.session->memory.cache().pagesHeld(), 0u);
  EXPECT_EQ(f.Report(), report);
  // One write per heading and one per region that could be read (all but one).
  EXPECT_EQ(sim::Calls("WriteFile"), static_cast<int>(lines.size()) - 1 + static_cast<int>(lines.size()));
}

TEST(MemoryDump, SizesInTheHeading) {
  SessionFixture f;
  sim::AddRegion(0x00400000, kPage, PAGE_NOACCESS).allocationProtect = PAGE_READWRITE;
  sim::AddRegion(0x01000000, 10000000, PAGE_NOACCESS).allocationProtect = PAGE_READWRITE;
  sim::AddRegion(0x02000000, 100000000, PAGE_NOACCESS).allocationProtect = PAGE_READWRITE;
  DumpCommittedMemory(*f.session);
  EXPECT_EQ(f.Report(),
            "*----> Commited Memory (0x00400000-    4096) rw- P <----*\r\n"
            "*----> Commited Memory (0x01000000-10000000) rw- P <----*\r\n"
            "*----> Commited Memory (0x02000000-100000000) rw- P <----*\r\n");
}

// Region contents are read by the halving rule straight on the platform.
TEST(MemoryDump, UncachedReadHalvesLikeTheRule) {
  SessionFixture f;
  sim::AddRegion(0x00400000, 8 * kPage).bytes = Pattern(8 * kPage, 5);
  uint32_t count = 0;
  std::vector<uint8_t> buffer(16 * kPage);
  sim::AddRegion(0x00408000, 8 * kPage, PAGE_NOACCESS);
  EXPECT_TRUE(f.session->memory.ReadUncached(0x00400000, buffer.data(), 16 * kPage, &count, true));
  EXPECT_EQ(count, 8 * kPage);
  EXPECT_EQ(sim::Calls("ReadProcessMemory"), 2);
}

TEST(MemoryDump, FileThatCannotBeCreatedIsLoggedAndTheWalkGoesOn) {
  SessionFixture f;
  sim::AddRegion(0x00400000, kPage);
  sim::AddRegion(0x00500000, kPage).bytes = Pattern(kPage, 2);
  mkdir(DumpFile(f, 0x00400000).c_str(), 0700);  // a directory in the file's place
  DumpCommittedMemory(*f.session);
  ASSERT_EQ(f.log.lines.size(), 3u);
  EXPECT_EQ(f.log.lines[0], "*----> Commited Memory (0x00400000-    4096) rw- P <----*");
  EXPECT_EQ(f.log.lines[1], "Dumpfile(" + DumpFile(f, 0x00400000) + ") Failed 5");
  EXPECT_EQ(f.log.lines[2], "*----> Commited Memory (0x00500000-    4096) rw- P <----*");
  EXPECT_EQ(ReadWholeFile(DumpFile(f, 0x00500000)), Bytes(Pattern(kPage, 2)));
  EXPECT_EQ(f.Report(),
            "*----> Commited Memory (0x00400000-    4096) rw- P <----*\r\n"
            "*----> Commited Memory (0x00500000-    4096) rw- P <----*\r\n");
}

// A region file's full path has at most 259 characters: a report name of 246 fits, 247 does
// not, and the dump is refused before it starts, with one line, instead of a line per region.
TEST(MemoryDump, ReportNameTooLongForTheFileName) {
  for (size_t length : {246u, 247u, 250u}) {
    SCOPED_TRACE(length);
    sim::Reset();
    LineRecorder log;
    std::string dir = ScratchDir();
    std::string path = dir + "/" + std::string(length - dir.size() - 1, 'n');
    ASSERT_EQ(path.size(), length);
    CLogFile session(path.c_str(), log.pane);
    ASSERT_NE(session.reportFile, INVALID_HANDLE_VALUE);
    if (length == 246) {
      EXPECT_TRUE(session.CheckRegionFileNames());
      EXPECT_TRUE(log.lines.empty());
      EXPECT_FALSE(session.reportRefused);
      continue;
    }
    EXPECT_FALSE(session.CheckRegionFileNames());
    EXPECT_TRUE(session.reportRefused);
    EXPECT_EQ(log.lines, std::vector<std::string>{"File:" + path + " refused: the full paths of its region files would be " +
                                                  std::to_string(length + 13) + " characters long, more than 259"});
    // Without region files there is nothing to refuse.
    session.options.memoryDumpEnabled = false;
    EXPECT_TRUE(session.CheckRegionFileNames());
  }
}

// The limit holds for the full path: a short relative name in a deep current folder is too long.
TEST(MemoryDump, RegionFileNamesAreCheckedOnTheFullPath) {
  sim::Reset();
  LineRecorder log;
  sim::target().currentDirectory = "C:\\" + std::string(240, 'd');
  CLogFile session(L"r.txt", log.pane, ReportCreation::kAfterAttach);
  EXPECT_FALSE(session.CheckRegionFileNames());
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], "File:r.txt refused: the full paths of its region files would be 262 characters long, more than 259");
}

// No buffer as large as the region: an unreadable region of 1.25 GiB costs one chunk-sized
// try per halving, and the walk goes on.
TEST(MemoryDump, RegionLargerThanAnyBufferIsTriedInChunks) {
  SessionFixture f;
  sim::AddRegion(0x00400000, 0x50000000, PAGE_NOACCESS);
  sim::AddRegion(0x60000000, kPage).bytes = Pattern(kPage, 4);
  DumpCommittedMemory(*f.session);
  ASSERT_EQ(f.log.lines.size(), 2u);
  EXPECT_EQ(ReadWholeFile(DumpFile(f, 0x00400000)), "");
  EXPECT_EQ(ReadWholeFile(DumpFile(f, 0x60000000)), Bytes(Pattern(kPage, 4)));
  // 5 << 28 bytes halved down to 5, the first request of 8 bytes or fewer: 29 tries, one read each.
  EXPECT_EQ(sim::Calls("ReadProcessMemory"), 29 + 1);
  for (const auto& read : sim::Reads()) EXPECT_LE(read.second, 1u << 20);
}

TEST(MemoryDump, FailingQueryEndsTheWalk) {
  SessionFixture f;
  sim::AddRegion(0x00400000, kPage);
  sim::AddRegion(0x30000000, kPage);
  sim::target().queryFailsFrom = 0x20000000;
  DumpCommittedMemory(*f.session);
  ASSERT_EQ(f.log.lines.size(), 2u);
  EXPECT_EQ(f.log.lines[0], "*----> Commited Memory (0x00400000-    4096) rw- P <----*");
  // The gap after the first region ends where the queries start to fail.
  EXPECT_EQ(f.log.lines[1], "VirtualQueryEx(20000000) failed (e=87): the memory walk ends here");
  EXPECT_EQ(sim::Calls("VirtualQueryEx"), 4);  // gap, region, the gap after it, the failure
  // The regions above are not saved: that is no complete dump.
  f.session->reportsWritten = 1;
  EXPECT_EQ(DumpExitStatus(*f.session, true), kExitWriteFailed);
}

// A large-address-aware tool walks up to its own top; a classic target's space ends at 2 GiB,
// where the query is refused with ERROR_INVALID_PARAMETER: the walk's normal end, no line.
// Another error, or one below any target's top, cuts the walk short.
TEST(MemoryDump, RefusedQueryAtTheTargetsTopIsTheNormalEnd) {
  struct Case {
    DWORD failsFrom;
    DWORD error;
    bool cut;
  } const kCases[] = {{0x7FFF0000, ERROR_INVALID_PARAMETER, false},
                      {0x7FFF0000, ERROR_ACCESS_DENIED, true},
                      {0x40000000, ERROR_INVALID_PARAMETER, true}};
  for (const Case& c : kCases) {
    SessionFixture f;
    sim::target().maximumApplicationAddress = 0xBFFEFFFF;
    sim::AddRegion(0x00400000, kPage);
    sim::AddRegion(0x20000000, kPage);
    sim::target().queryFailsFrom = c.failsFrom;
    sim::target().queryError = c.error;
    DumpCommittedMemory(*f.session);
    f.session->reportsWritten = 1;
    EXPECT_EQ(f.session->memoryWalkCut, c.cut) << c.failsFrom;
    EXPECT_EQ(DumpExitStatus(*f.session, true), c.cut ? kExitWriteFailed : kExitDumped) << c.failsFrom;
    ASSERT_EQ(f.log.lines.size(), c.cut ? 3u : 2u) << c.failsFrom;
    if (c.cut) {
      char line[80];
      snprintf(line, sizeof line, "VirtualQueryEx(%08X) failed (e=%d): the memory walk ends here",
               static_cast<unsigned>(c.failsFrom), static_cast<int>(c.error));
      EXPECT_EQ(f.log.lines[2], line);
    }
  }
}

// With the whole 4 GiB as application space the last region reaches the top: the walk ends.
TEST(MemoryDump, RegionAtTheTopOfTheAddressSpaceEndsTheWalk) {
  SessionFixture f;
  sim::target().maximumApplicationAddress = 0xFFFFFFFF;
  sim::AddRegion(0x00400000, kPage);
  sim::AddRegion(0xFFFF0000, 0x10000).bytes = Pattern(0x10000, 6);
  DumpCommittedMemory(*f.session);
  ASSERT_EQ(f.log.lines.size(), 2u);
  EXPECT_EQ(f.log.lines[1], "*----> Commited Memory (0xFFFF0000-   65536) rw- P <----*");
  EXPECT_EQ(ReadWholeFile(DumpFile(f, 0xFFFF0000)), Bytes(Pattern(0x10000, 6)));
  EXPECT_EQ(sim::Calls("VirtualQueryEx"), 4);
}

TEST(MemoryDump, FreeSpaceUpToTheTopEndsTheWalk) {
  SessionFixture f;
  sim::target().maximumApplicationAddress = 0xFFFFFFFF;
  sim::AddRegion(0x00400000, kPage);
  DumpCommittedMemory(*f.session);
  EXPECT_EQ(f.log.lines.size(), 1u);
  EXPECT_EQ(sim::Calls("VirtualQueryEx"), 3);
}

TEST(MemoryDump, EmptyAddressSpaceWritesNothing) {
  SessionFixture f;
  DumpCommittedMemory(*f.session);
  EXPECT_TRUE(f.log.lines.empty());
  EXPECT_EQ(f.Report(), "");
}

TEST(MemoryDump, ExistingDumpFileIsReplaced) {
  SessionFixture f;
  FILE* old = fopen(DumpFile(f, 0x00400000).c_str(), "wb");
  fputs("an older and longer dump file", old);
  fclose(old);
  sim::AddRegion(0x00400000, kPage, PAGE_NOACCESS).allocationProtect = PAGE_READWRITE;
  DumpCommittedMemory(*f.session);
  EXPECT_EQ(ReadWholeFile(DumpFile(f, 0x00400000)), "");
}

}  // namespace
