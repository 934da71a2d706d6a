#include <gtest/gtest.h>

#include "sim/sim.h"
#include "tools/cli/process_match.h"

namespace {

// The stand-in's ANSI code page is Latin-1.
std::wstring WidenLatin1(const std::string& text) {
  std::wstring wide;
  for (unsigned char c : text) wide += static_cast<wchar_t>(c);
  return wide;
}

ProcessRow Row(const std::string& caption, const std::string& pid) { return ProcessRow{caption, pid, "4 KB"}; }

TEST(ProcessMatch, FoldsTheLettersOfEachAlphabet) {
  struct Case {
    wchar_t upper;
    wchar_t lower;
  };
  const Case folded[] = {{L'A', L'a'},   {L'Z', L'z'},   {0x00C0, 0x00E0}, {0x00DE, 0x00FE}, {0x0391, 0x03B1},
                         {0x03A9, 0x03C9}, {0x0400, 0x0450}, {0x040F, 0x045F}, {0x0410, 0x0430}, {0x042F, 0x044F},
                         {0xFF21, 0xFF41}, {0xFF3A, 0xFF5A}};
  for (const Case& c : folded) {
    EXPECT_EQ(FoldNameCase(c.upper), c.lower) << std::hex << c.upper;
    EXPECT_EQ(FoldNameCase(c.lower), c.lower) << std::hex << c.lower;
  }
  // Neighbours that are no upper-case letters stay as they are.
  for (wchar_t same : {L'@', L'[', L'a', L'0', L'_', L'.', wchar_t(0x00D7), wchar_t(0x00DF), wchar_t(0x03A2),
                       wchar_t(0xFF20), wchar_t(0xFF3B), wchar_t(0x30BD)}) {
    EXPECT_EQ(FoldNameCase(same), same) << std::hex << same;
  }
}

TEST(ProcessMatch, OneManyOrNone) {
  const std::vector<ProcessRow> rows = {Row("notepad.exe", "36"), Row("Sample_Target.exe", "52"),
                                        Row("sample_target.exe", "60"), Row("caf\xc9.exe", "64")};
  EXPECT_EQ(MatchProcessName(L"NOTEPAD.EXE", rows, &WidenLatin1), (std::vector<uint32_t>{36}));
  EXPECT_EQ(MatchProcessName(L"sample_target.EXE", rows, &WidenLatin1), (std::vector<uint32_t>{52, 60}));
  EXPECT_EQ(MatchProcessName(L"caf\u00e9.exe", rows, &WidenLatin1), (std::vector<uint32_t>{64}));
  // The whole caption, nothing less or more.
  EXPECT_TRUE(MatchProcessName(L"notepad", rows, &WidenLatin1).empty());
  EXPECT_TRUE(MatchProcessName(L"notepad.exe ", rows, &WidenLatin1).empty());
  EXPECT_TRUE(MatchProcessName(L"otepad.exe", rows, &WidenLatin1).empty());
  EXPECT_TRUE(MatchProcessName(L"", rows, &WidenLatin1).empty());
  EXPECT_EQ(IdList({52, 60}), "52, 60");
  EXPECT_EQ(IdList({7}), "7");
}

// The list and the match work on the wizard's own rows: captions, KB rounding and order.
TEST(ProcessMatch, ListTextFollowsTheWizardsRows) {
  sim::Reset();
  auto add = [](DWORD id, const std::string& path, SIZE_T workingSet, bool memoryInfo = true) {
    sim::Process process;
    process.id = id;
    process.path = path;
    process.workingSet = workingSet;
    process.memoryInfo = memoryInfo;
    sim::target().processes.push_back(process);
  };
  add(8, "C:\\w\\zeta.exe", 1048576);
  add(12, "C:\\w\\Alpha one.exe", 1023);
  add(16, "C:\\w\\hidden.exe", 4096);
  sim::target().processes.back().openable = false;
  add(20, "noslash.exe", 5000, false);
  add(24, "C:\\x\\alpha one.exe", 2048);
  add(28, "C:\\Windows\\System32\\svchost.exe", 8192);
  sim::target().processes.back().is64Bit = true;
  sim::target().wow64 = true;
  std::vector<ProcessRow> rows;
  ASSERT_TRUE(CollectProcessRows(rows, true));
  // A header, plain numbers, and the 64-bit process marked as such.
  EXPECT_EQ(ProcessListText(rows),
            "PROGRAM\tPID\tWORKING_SET_KB\tBITS\n"
            "alpha one.exe\t24\t2\t32\n"
            "Alpha one.exe\t12\t0\t32\n"
            "noslash.exe\t20\t\t32\n"
            "svchost.exe\t28\t8\t64\n"
            "zeta.exe\t8\t1024\t32\n");
  EXPECT_EQ(MatchProcessName(L"ALPHA ONE.EXE", rows, &WidenLatin1), (std::vector<uint32_t>{24, 12}));
  EXPECT_TRUE(MatchProcessName(L"hidden.exe", rows, &WidenLatin1).empty());
  EXPECT_EQ(ProcessListText({}), "PROGRAM\tPID\tWORKING_SET_KB\tBITS\n");
}

}  // namespace
