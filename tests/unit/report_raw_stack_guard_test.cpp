// The raw stack dump of a thread whose stack ends in its guard page: the lower range fails at
// the guard page once, which clears it, and the next try 8 bytes up holds the rest, with the
// read cache as without it.
#include <gtest/gtest.h>

#include "report/raw_stack.h"
#include "test_support.h"

namespace {

constexpr DWORD kPage = 4096;
constexpr DWORD kTop = 0x00130000, kEsp = kTop - 0x180, kGuard = kTop - 3 * kPage;

std::string DumpWithCache(bool cached) {
  SessionFixture f;
  sim::AddRegion(0x00030000, kGuard - 0x00030000, PAGE_READWRITE, MEM_PRIVATE, MEM_RESERVE);
  std::vector<BYTE> guardBytes(kPage), stackBytes(2 * kPage);
  for (DWORD i = 0; i < kPage; ++i) guardBytes[i] = static_cast<BYTE>(i * 3);
  for (DWORD i = 0; i < 2 * kPage; ++i) stackBytes[i] = static_cast<BYTE>(i * 7 + 1);
  sim::AddRegion(kGuard, kPage, PAGE_READWRITE | PAGE_GUARD).bytes = guardBytes;
  sim::AddRegion(kGuard + kPage, 2 * kPage).bytes = stackBytes;
  f.session->memory.SetCache(cached);
  CThreadContext thread(nullptr, 1);
  thread.esp = kEsp;
  WriteRawStack(*f.session, thread);
  // The guard is gone from the page that was touched, as on Windows.
  MEMORY_BASIC_INFORMATION info;
  VirtualQueryEx(f.session->process, reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(kGuard)), &info, sizeof info);
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READWRITE));
  return f.Report();
}

TEST(RawStackGuard, LowerRangeThroughTheGuardPageWithAndWithoutTheCache) {
  std::string plain = DumpWithCache(false), cached = DumpWithCache(true);
  EXPECT_EQ(cached, plain);
  // The lower part starts 8 bytes into the guard page: the first try that reached it failed.
  const std::string heading = "*----> Raw Stack Dump (lower part)<----*\r\n";
  ASSERT_EQ(plain.compare(0, heading.size(), heading), 0);
  char first[16];
  snprintf(first, sizeof first, "%08x  ", kGuard + 8);
  EXPECT_EQ(plain.compare(heading.size(), 10, first), 0);
  // (kEsp - kGuard - 8) / 16 whole lines of 79 bytes, then the upper part.
  size_t lower = heading.size() + (kEsp - kGuard - 8) / 16 * 79 + 2;
  EXPECT_EQ(plain.substr(lower, 30), "*----> Raw Stack Dump <----*\r\n");
}

}  // namespace
