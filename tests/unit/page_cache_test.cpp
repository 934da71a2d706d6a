// The cached read path against the plain retry loop on the same simulated target: the same
// result, the same count and the same buffer bytes, for random layouts and requests.
#include <gtest/gtest.h>

#include <random>

#include "test_support.h"

namespace {

constexpr DWORD kPage = 4096;

struct Outcome {
  bool ok;
  uint32_t count;
  std::vector<uint8_t> buffer;
};

Outcome Read(CLogFile& session, uint32_t address, uint32_t size, bool halve) {
  Outcome outcome{false, 0xDEADBEEF, std::vector<uint8_t>(size, 0xCC)};
  outcome.ok = session.ReadTargetMemory(address, outcome.buffer.data(), size, &outcome.count, halve);
  return outcome;
}

// Two sessions over the one simulated target: one reads with the plain loop, one cached.
struct TwoSessions {
  LineRecorder log;
  std::string dir = ScratchDir();
  std::unique_ptr<CLogFile> literal, cached;
  TwoSessions() {
    literal.reset(new CLogFile((dir + "/literal.txt").c_str(), log.pane));
    cached.reset(new CLogFile((dir + "/cached.txt").c_str(), log.pane));
    literal->process = cached->process = sim::target().processHandle;
    literal->memory.SetCache(false);
  }
};

DWORD RandomProtect(std::mt19937& random) {
  switch (random() % 6) {
    case 0: return PAGE_NOACCESS;
    case 1: return PAGE_READWRITE | PAGE_GUARD;
    case 2: return PAGE_READONLY;
    case 3: return PAGE_EXECUTE_READ;
    default: return PAGE_READWRITE;
  }
}

// Page-aligned regions of 1 to 40 pages with gaps, from base on, some only reserved.
void RandomLayout(std::mt19937& random, uint64_t base, uint64_t limit) {
  uint64_t at = base;
  while (at < limit) {
    at += kPage * (random() % 3);
    if (at >= limit) break;
    uint64_t pages = 1 + random() % 40;
    if (at + pages * kPage > limit) pages = (limit - at) / kPage;
    DWORD state = random() % 8 == 0 ? MEM_RESERVE : MEM_COMMIT;
    sim::Region& region = sim::AddRegion(static_cast<DWORD>(at), static_cast<DWORD>(pages * kPage), RandomProtect(random),
                                         MEM_PRIVATE, state);
    region.bytes.resize(region.size);
    for (BYTE& b : region.bytes) b = static_cast<BYTE>(random());
    at += pages * kPage;
  }
}

uint32_t RandomSize(std::mt19937& random, uint32_t largest) {
  static const uint32_t kTypical[] = {1, 4, 7, 8, 9, 15, 16, 17, 24, 63, 64, 4096, 4097, 8200, 0x4000, 0x20000};
  uint32_t size = random() % 2 ? kTypical[random() % (sizeof kTypical / sizeof kTypical[0])] : 1 + random() % largest;
  return size > largest ? largest : size;
}

// The target's pages as the reads left them: a guard cleared by one path must be cleared by
// the other.
std::string Protections(const sim::Target& target) {
  std::string text;
  char row[48];
  for (const sim::Region& region : target.regions) {
    snprintf(row, sizeof row, "%08x+%x:%x ", static_cast<unsigned>(region.base), static_cast<unsigned>(region.size),
             static_cast<unsigned>(region.protect));
    text += row;
  }
  return text;
}

void ExpectSame(const Outcome& literal, const Outcome& cached, uint32_t address, uint32_t size, bool halve) {
  SCOPED_TRACE(testing::Message() << std::hex << "address 0x" << address << " size 0x" << size << " halve " << halve);
  ASSERT_EQ(literal.ok, cached.ok);
  ASSERT_EQ(literal.count, cached.count);
  ASSERT_TRUE(literal.buffer == cached.buffer);
}

// A read that touches a guard page changes the target, so each session reads its own copy.
Outcome ReadOwn(sim::Target& own, CLogFile& session, uint32_t address, uint32_t size, bool halve) {
  std::swap(sim::target(), own);
  Outcome outcome = Read(session, address, size, halve);
  std::swap(sim::target(), own);
  return outcome;
}

void CompareOverLayout(uint32_t seed, uint64_t base, uint64_t limit, int requests, uint32_t largest) {
  std::mt19937 random(seed);
  sim::Reset();
  RandomLayout(random, base, limit);
  TwoSessions s;
  sim::Target literalTarget = sim::target(), cachedTarget = sim::target();
  for (int i = 0; i < requests; ++i) {
    uint32_t size = RandomSize(random, largest);
    uint64_t span = limit - base + 0x4000;
    uint32_t address = static_cast<uint32_t>(base - 0x2000 + random() % span);
    if (random() % 3 == 0) address &= ~7u;
    if (random() % 4 == 0) address &= ~(kPage - 1);
    bool halve = random() % 2 == 0;
    Outcome literal = ReadOwn(literalTarget, *s.literal, address, size, halve);
    Outcome cached = ReadOwn(cachedTarget, *s.cached, address, size, halve);
    ExpectSame(literal, cached, address, size, halve);
    if (testing::Test::HasFatalFailure()) return;
    ASSERT_EQ(Protections(literalTarget), Protections(cachedTarget))
        << std::hex << "after address 0x" << address << " size 0x" << size << " halve " << halve;
  }
}

// Reserved memory, then the guard page, then the committed stack: the lower raw stack range
// fails at the guard page once and then holds all of it but its first 8 bytes, cached or not.
TEST(PageCache, LowerStackRangeThroughTheGuardPage) {
  sim::Reset();
  const DWORD top = 0x00130000, esp = top - 0x100, guard = top - 4 * kPage;
  sim::AddRegion(0x00030000, guard - 0x00030000, PAGE_READWRITE, MEM_PRIVATE, MEM_RESERVE);
  sim::AddRegion(guard, kPage, PAGE_READWRITE | PAGE_GUARD).bytes = std::vector<BYTE>(kPage, 0x6B);
  sim::AddRegion(guard + kPage, 3 * kPage).bytes = std::vector<BYTE>(3 * kPage, 0x3C);
  TwoSessions s;
  sim::Target literalTarget = sim::target(), cachedTarget = sim::target();
  for (int again = 0; again < 2; ++again) {
    Outcome literal = ReadOwn(literalTarget, *s.literal, esp - 0x20000, 0x20000, false);
    Outcome cached = ReadOwn(cachedTarget, *s.cached, esp - 0x20000, 0x20000, false);
    ExpectSame(literal, cached, esp - 0x20000, 0x20000, false);
    // The first read found the guard; the second finds it gone and starts at the page.
    EXPECT_EQ(cached.count, esp - guard - (again == 0 ? 8 : 0));
    EXPECT_EQ(cached.buffer[0], 0x6B);
  }
  // Upwards from inside the guard page: the whole try fails once, half of it reads.
  literalTarget = cachedTarget = sim::target();
  s.cached->memory.Clear();
  ExpectSame(ReadOwn(literalTarget, *s.literal, guard, 2 * kPage, true),
             ReadOwn(cachedTarget, *s.cached, guard, 2 * kPage, true), guard, 2 * kPage, true);
}

// A guard page between two no-access pages, below readable memory: the loop that moves its
// front up touches the guard on its way, so the cache must clear it too.
TEST(PageCache, GuardBetweenNoAccessPagesIsClearedAsByTheLoop) {
  sim::Reset();
  const DWORD base = 0x00500000;
  sim::AddRegion(base, kPage, PAGE_NOACCESS);
  sim::AddRegion(base + kPage, kPage, PAGE_READWRITE | PAGE_GUARD);
  sim::AddRegion(base + 2 * kPage, kPage, PAGE_NOACCESS);
  sim::AddRegion(base + 3 * kPage, kPage);
  TwoSessions s;
  sim::Target literalTarget = sim::target(), cachedTarget = sim::target();
  ExpectSame(ReadOwn(literalTarget, *s.literal, base, 4 * kPage, false),
             ReadOwn(cachedTarget, *s.cached, base, 4 * kPage, false), base, 4 * kPage, false);
  EXPECT_EQ(Protections(literalTarget), Protections(cachedTarget));
  EXPECT_EQ(Protections(cachedTarget).find("104"), std::string::npos) << Protections(cachedTarget);
}

// Layouts wider than the cache's slots, so that pages are evicted between requests.
TEST(PageCache, SameResultsOverLayoutsWiderThanTheCache) {
  for (uint32_t seed = 100; seed <= 105; ++seed) {
    SCOPED_TRACE(seed);
    CompareOverLayout(seed, 0x00400000, 0x00400000 + 3 * PageCache::kSlotCount * kPage, 200, 0x20000);
    if (HasFatalFailure()) return;
  }
}

TEST(PageCache, SameResultsAsTheRetryLoopOverRandomLayouts) {
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    SCOPED_TRACE(seed);
    CompareOverLayout(seed, 0x00400000, 0x00400000 + 0x60000, 120, 0x20000);
    if (HasFatalFailure()) return;
  }
}

TEST(PageCache, SameResultsAtTheTopAndBottomOfTheAddressSpace) {
  for (uint32_t seed = 100; seed <= 130; ++seed) {
    SCOPED_TRACE(seed);
    CompareOverLayout(seed, 0x100000000ull - 0x30000, 0x100000000ull, 100, 0x4000);
    if (HasFatalFailure()) return;
    CompareOverLayout(seed, 0, 0x30000, 100, 0x4000);
    if (HasFatalFailure()) return;
  }
}

// A request that wraps: shrinking from the front can reach low memory past the top.
TEST(PageCache, FrontShrinkThatWrapsIntoLowMemory) {
  sim::Reset();
  sim::AddRegion(0x00000000, kPage).bytes = std::vector<BYTE>(kPage, 0x5A);
  sim::AddRegion(0xFFFFF000, kPage).bytes = std::vector<BYTE>(kPage, 0xA5);
  TwoSessions s;
  const uint32_t cases[][2] = {{0xFFFFFFF0, 0x40}, {0xFFFFFFF8, 0x10}, {0xFFFFFFFC, 0x21}, {0xFFFFF000, 0x1000},
                               {0xFFFFF000, 0x1001}, {0xFFFFFF00, 0x4000}};
  for (const auto& c : cases) {
    for (bool halve : {false, true}) {
      ExpectSame(Read(*s.literal, c[0], c[1], halve), Read(*s.cached, c[0], c[1], halve), c[0], c[1], halve);
    }
  }
  // The literal loop reaches [0, 0x30) after its window has moved past the top.
  Outcome wrapped = Read(*s.cached, 0xFFFFFFF0, 0x40, false);
  EXPECT_TRUE(wrapped.ok);
  EXPECT_EQ(wrapped.count, 0x30u);
  EXPECT_EQ(wrapped.buffer[0], 0x5A);
}

// The Part's examples of the retry rule, through the cache.
TEST(PageCache, RetryRuleExamples) {
  sim::Reset();
  sim::AddRegion(0x10000, kPage, PAGE_NOACCESS);
  sim::AddRegion(0x11000, kPage).bytes = std::vector<BYTE>(kPage, 0x11);
  sim::AddRegion(0x20000, kPage).bytes = std::vector<BYTE>(kPage, 0x22);
  TwoSessions s;
  uint32_t count = 0;
  std::vector<uint8_t> buffer(64, 0);
  // Only the first 16 of 64 bytes readable: 16 read at the same address.
  EXPECT_TRUE(s.cached->ReadTargetMemory(0x20FF0, buffer.data(), 64, &count, true));
  EXPECT_EQ(count, 16u);
  // The first 24 of 64 unreadable: 40 bytes, from +24.
  EXPECT_TRUE(s.cached->ReadTargetMemory(0x11000 - 24, buffer.data(), 64, &count, false));
  EXPECT_EQ(count, 40u);
  EXPECT_EQ(buffer[0], 0x11);
  EXPECT_FALSE(s.cached->ReadTargetMemory(0x10000, buffer.data(), 8, &count, true));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(s.cached->ReadTargetMemory(0x10000, buffer.data(), 9, &count, true));
}

// The lower raw stack range over a stack whose last 3 pages below the pointer are committed:
// the retry loop needs thousands of reads, the cache at most two a page (each page below the
// committed ones is read, as one of the loop's tries may find a guard there).
TEST(PageCache, LowerStackRangeCostsAFewReads) {
  sim::Reset();
  const DWORD esp = 0x00130000 - 0x100;
  sim::AddRegion(0x00030000, 0x00100000 - 3 * kPage, PAGE_READWRITE, MEM_PRIVATE, MEM_RESERVE);
  sim::AddRegion(0x00130000 - 3 * kPage, 3 * kPage);
  TwoSessions s;
  Outcome literal = Read(*s.literal, esp - 0x20000, 0x20000, false);
  int literalReads = sim::Calls("ReadProcessMemory");
  Outcome cached = Read(*s.cached, esp - 0x20000, 0x20000, false);
  int cachedReads = sim::Calls("ReadProcessMemory") - literalReads;
  ExpectSame(literal, cached, esp - 0x20000, 0x20000, false);
  EXPECT_TRUE(cached.ok);
  EXPECT_EQ(cached.count, 3 * kPage - 0x100);
  EXPECT_GT(literalReads, 14000);
  EXPECT_LE(cachedReads, 2 * 0x20000 / static_cast<int>(kPage) + 2);
  EXPECT_EQ(s.literal->memory.PlatformReadCount(), static_cast<uint32_t>(literalReads));
  EXPECT_EQ(s.cached->memory.PlatformReadCount(), static_cast<uint32_t>(cachedReads));
  // Known pages answer again without any read.
  Outcome again = Read(*s.cached, esp - 0x20000, 0x20000, false);
  EXPECT_EQ(sim::Calls("ReadProcessMemory"), literalReads + cachedReads);
  EXPECT_TRUE(again.buffer == cached.buffer);
}

TEST(PageCache, KnownUnreadablePageIsNotReadAgain) {
  sim::Reset();
  sim::AddRegion(0x50000, kPage, PAGE_NOACCESS);
  TwoSessions s;
  Read(*s.cached, 0x50010, 16, true);
  int reads = sim::Calls("ReadProcessMemory");
  EXPECT_EQ(reads, 2);  // the second read tells a no-access page from a guard page
  EXPECT_FALSE(Read(*s.cached, 0x50100, 64, true).ok);
  EXPECT_FALSE(Read(*s.cached, 0x50200, 64, false).ok);
  EXPECT_EQ(sim::Calls("ReadProcessMemory"), reads);
}

TEST(PageCache, HoldsAtMostItsBoundAndClearForgets) {
  sim::Reset();
  sim::AddRegion(0x01000000, 0x01000000);  // 4096 pages
  TwoSessions s;
  for (uint32_t page = 0; page < 4096; ++page) Read(*s.cached, 0x01000000 + page * kPage, 8, true);
  EXPECT_LE(s.cached->memory.cache().pagesHeld(), PageCache::kSlotCount);
  EXPECT_EQ(s.cached->memory.cache().pagesHeld(), PageCache::kSlotCount);
  uint32_t reads = s.cached->memory.PlatformReadCount();
  s.cached->memory.Clear();
  EXPECT_EQ(s.cached->memory.cache().pagesHeld(), 0u);
  EXPECT_EQ(s.cached->memory.PlatformReadCount(), reads);  // the statistics survive
  Read(*s.cached, 0x01000000, 8, true);
  EXPECT_EQ(s.cached->memory.PlatformReadCount(), reads + 1);
}

TEST(PageCache, LargeRequestsGoStraightToThePlatform) {
  sim::Reset();
  sim::AddRegion(0x01000000, 0x00100000);
  TwoSessions s;
  Outcome big = Read(*s.cached, 0x01000000, PageCache::kLargestRequest + 8, true);
  EXPECT_TRUE(big.ok);
  EXPECT_EQ(sim::Calls("ReadProcessMemory"), 1);
  EXPECT_EQ(s.cached->memory.cache().pagesHeld(), 0u);
  uint32_t count = 0;
  std::vector<uint8_t> buffer(0x10000);
  EXPECT_TRUE(s.cached->memory.ReadUncached(0x01000000, buffer.data(), 0x10000, &count, true));
  EXPECT_EQ(s.cached->memory.cache().pagesHeld(), 0u);
}

}  // namespace

// The plain reads: the readable prefix, exactly a range, and what each costs in platform reads
// the first time and again (nothing: the pages are kept).
TEST(PageCache, PrefixAndExactReads) {
  struct Case {
    const char* name;
    uint32_t address, size;
    uint32_t prefix;      // readable bytes from address
    uint32_t firstReads;  // platform reads of the first prefix read
  } cases[] = {
      {"inside_one_page", 0x00400010, 16, 16, 1},
      {"three_pages_one_try", 0x00400000, 3 * kPage, 3 * kPage, 1},
      {"through_the_guard_page", 0x00403000, 2 * kPage, 2 * kPage, 3},
      {"up_to_unmapped", 0x00405000, 2 * kPage, kPage, 3},
      {"nothing_readable", 0x00500000, 16, 0, 2},
      {"top_of_memory", 0xFFFFFFF0u, 32, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    sim::AddRegion(0x00400000, 4 * kPage).bytes = std::vector<BYTE>(4 * kPage, 0x5A);
    sim::AddRegion(0x00404000, kPage, PAGE_READWRITE | PAGE_GUARD).bytes = std::vector<BYTE>(kPage, 0x6B);
    sim::AddRegion(0x00405000, kPage).bytes = std::vector<BYTE>(kPage, 0x7C);
    TwoSessions s;
    std::vector<uint8_t> buffer(c.size, 0xCC);
    EXPECT_EQ(s.cached->memory.ReadPrefix(c.address, buffer.data(), c.size), c.prefix);
    EXPECT_EQ(s.cached->memory.PlatformReadCount(), c.firstReads);
    if (c.prefix > 0) EXPECT_NE(buffer[c.prefix - 1], 0xCC);
    EXPECT_EQ(s.cached->memory.ReadExactly(c.address, buffer.data(), c.size), c.prefix == c.size);
    EXPECT_EQ(s.cached->memory.PlatformReadCount(), c.firstReads);
    // Unkept: one try for exactly, nothing kept for later.
    EXPECT_EQ(s.literal->memory.ReadExactly(c.address, buffer.data(), c.size, false), c.prefix == c.size);
  }
}
