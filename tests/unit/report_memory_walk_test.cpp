// The committed-memory walk over the whole address space of a large-address-aware target, and
// its exception guard against exceptions raised by platform calls.
#include <gtest/gtest.h>

#include "report/memory_dump.h"
#include "test_support.h"

namespace {

constexpr DWORD kPage = 4096;

std::vector<std::string> Headings(const std::vector<std::string>& lines) {
  std::vector<std::string> headings;
  for (const std::string& line : lines) {
    if (line.compare(0, 6, "*---->") == 0) headings.push_back(line);
  }
  return headings;
}

void AddHighRegions() {
  sim::AddRegion(0x00400000, kPage, PAGE_READONLY, MEM_IMAGE);
  sim::AddRegion(0x10000000, 0x90000000, PAGE_NOACCESS);  // more than 2 GiB, nothing readable
  sim::AddRegion(0xC0000000, 2 * kPage).bytes = std::vector<BYTE>(2 * kPage, 0xC0);
  sim::AddRegion(0xFFFD0000, 0x10000, PAGE_READWRITE, MEM_PRIVATE, MEM_RESERVE);
  sim::AddRegion(0xFFFE0000, kPage);
}

// A target that is not large-address-aware ends its user space below 2 GiB; a region that
// starts below the end is still dumped whole.
TEST(MemoryWalk, EndsAtTheTopAClassicTargetHas) {
  SessionFixture f;
  AddHighRegions();
  DumpCommittedMemory(*f.session);
  EXPECT_EQ(Headings(f.log.lines), (std::vector<std::string>{
                                       "*----> Commited Memory (0x00400000-    4096) r-- I <----*",
                                       "*----> Commited Memory (0x10000000-2415919104) --- P <----*",
                                   }));
}

// On 64-bit Windows a large-address-aware program sees 0xFFFEFFFF as the top.
TEST(MemoryWalk, ReachesTheTopOfALargeAddressAwareTarget) {
  SessionFixture f;
  AddHighRegions();
  sim::target().maximumApplicationAddress = 0xFFFEFFFF;
  DumpCommittedMemory(*f.session);
  EXPECT_EQ(Headings(f.log.lines), (std::vector<std::string>{
                                       "*----> Commited Memory (0x00400000-    4096) r-- I <----*",
                                       "*----> Commited Memory (0x10000000-2415919104) --- P <----*",
                                       "*----> Commited Memory (0xC0000000-    8192) rw- P <----*",
                                       "*----> Commited Memory (0xFFFE0000-    4096) rw- P <----*",
                                   }));
  EXPECT_EQ(ReadWholeFile(f.reportPath + ".C0000000.bin"), std::string(2 * kPage, '\xC0'));
  EXPECT_EQ(ReadWholeFile(f.reportPath + ".10000000.bin"), "");
  EXPECT_EQ(ReadWholeFile(f.reportPath + ".FFFE0000.bin").size(), kPage);
  EXPECT_EQ(f.session->failedWrites, 0u);
}

struct GuardCase {
  const char* function;
  DWORD code;
  DWORD address;
  bool stopsTheStep;
};

// Windows code raises and handles its own first-chance exceptions; the tool's own faults end
// the step; warnings (a guard page) and breakpoints are never the guard's to take.
TEST(MemoryWalk, ExceptionGuardTakesOnlyErrorsOfTheToolsOwnCode) {
  const GuardCase cases[] = {
      {"ReadProcessMemory", EXCEPTION_ACCESS_VIOLATION, 0x7B810000, false},  // inside a system DLL
      {"ReadProcessMemory", EXCEPTION_ACCESS_VIOLATION, 0x00401234, true},   // inside the tool
      {"ReadProcessMemory", 0xC0000006, 0x00401234, true},                   // in-page error, the tool
      {"ReadProcessMemory", EXCEPTION_BREAKPOINT, 0x00401234, false},
      {"ReadProcessMemory", EXCEPTION_GUARD_PAGE, 0x00401234, false},
      {"VirtualQueryEx", EXCEPTION_ACCESS_VIOLATION, 0x7B810000, false},
      {"VirtualQueryEx", EXCEPTION_ACCESS_VIOLATION, 0x00401234, true},
  };
  for (const GuardCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.function << " " << std::hex << c.code << " at " << c.address);
    SessionFixture f;
    sim::AddRegion(0x00400000, kPage).bytes = std::vector<BYTE>(kPage, 0x11);
    sim::AddRegion(0x10000000, kPage).bytes = std::vector<BYTE>(kPage, 0x22);
    sim::target().raises.push_back({c.function, c.code, c.address});
    DumpCommittedMemory(*f.session);
    EXPECT_EQ(sim::RaisedCount(), 1);
    const std::string first = "*----> Commited Memory (0x00400000-    4096) rw- P <----*";
    const std::string second = "*----> Commited Memory (0x10000000-    4096) rw- P <----*";
    const bool inQuery = std::string(c.function) == "VirtualQueryEx";
    const bool lineWanted = c.stopsTheStep && c.code == EXCEPTION_ACCESS_VIOLATION;
    std::vector<std::string> expected;
    if (inQuery && lineWanted) expected.push_back("Can't read memory block 00000000");  // the first query
    expected.push_back(first);
    if (!inQuery && lineWanted) expected.push_back("Can't read memory block 00400000");
    expected.push_back(second);
    EXPECT_EQ(f.log.lines, expected);
    // A stopped query moves the walk on by a page; a stopped read leaves its file empty.
    const bool emptied = c.stopsTheStep && !inQuery;
    EXPECT_EQ(ReadWholeFile(f.reportPath + ".00400000.bin"), emptied ? "" : std::string(kPage, '\x11'));
    EXPECT_EQ(ReadWholeFile(f.reportPath + ".10000000.bin"), std::string(kPage, '\x22'));
    EXPECT_EQ(sim::Calls("CloseHandle"), 2);
    EXPECT_EQ(f.session->failedWrites, emptied ? 1u : 0u);
  }
}

std::string Query(DWORD address) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQueryEx(sim::target().processHandle, reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(address)), &info,
                     sizeof info) == 0) {
    return "failed";
  }
  char text[80];
  snprintf(text, sizeof text, "%08x+%x %x %x", static_cast<unsigned>(TargetAddress(info.BaseAddress)),
           static_cast<unsigned>(info.RegionSize), static_cast<unsigned>(info.Protect),
           static_cast<unsigned>(TargetAddress(info.AllocationBase)));
  return text;
}

// The stand-in answers as Windows does: the page of the address, up to the first page of
// other attributes or another allocation; a guard page, once cleared, joins its neighbours of
// the same allocation and protection.
TEST(MemoryWalk, QueryAnswersAsWindowsDoes) {
  sim::Reset();
  const DWORD base = 0x00500000;
  sim::AddRegion(base, kPage);
  sim::AddRegion(base + kPage, kPage, PAGE_READWRITE | PAGE_GUARD).allocationBase = base;
  sim::AddRegion(base + 2 * kPage, 2 * kPage).allocationBase = base;
  sim::AddRegion(base + 4 * kPage, kPage);  // another allocation
  EXPECT_EQ(Query(base + 0x10), "00500000+1000 4 500000");
  EXPECT_EQ(Query(base + 2 * kPage + kPage + 0x123), "00503000+1000 4 500000");
  EXPECT_EQ(Query(base + kPage + 5), "00501000+1000 104 500000");
  BYTE byte = 0;
  SIZE_T count = 0;
  EXPECT_FALSE(ReadProcessMemory(sim::target().processHandle, reinterpret_cast<LPCVOID>(base + kPage), &byte, 1, &count));
  EXPECT_EQ(Query(base + 0x10), "00500000+4000 4 500000");
  EXPECT_EQ(Query(base + kPage + 0x800), "00501000+3000 4 500000");
  EXPECT_EQ(Query(base + 4 * kPage), "00504000+1000 4 504000");
}

}  // namespace
