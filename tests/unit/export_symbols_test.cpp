// Symbols from the export tables of modules the symbol handler knows nothing about: the
// look-up and the size rule, damaged and hostile directories, the reads a module costs, and
// the report text of frames, listings and operands named from exports.
#include <gtest/gtest.h>

#include <stdio.h>

#include "report/disassemble_target.h"
#include "report/back_trace.h"
#include "session/symbol_service.h"
#include "tests/unit/code_module.h"
#include "tests/unit/pe_image.h"
#include "tests/unit/test_support.h"

namespace {

constexpr DWORD kBase = 0x7bc00000;
constexpr char kPath[] = "C:\\windows\\system32\\ntdll.dll";

// Ordinal base 1: the export by ordinal only is #3.
std::vector<pe_image::Export> SystemExports() {
  return {
      {0x1040, "ZwWaitForSingleObject", ""},
      {0x1040, "NtWaitForSingleObject", ""},
      {0x1080, "", ""},
      {0x1100, "RtlUserThreadStart", ""},
      {0, "NtdllForward", "kernelbase.Forwarded"},
      {0x3010, "DataExport", ""},  // in .data: no code
      {0x1800, "LastFunction", ""},
  };
}

pe_image::Image SystemImage() {
  pe_image::Image image = pe_image::Build(SystemExports());
  std::fill(image.bytes.begin() + pe_image::kTextStart, image.bytes.begin() + pe_image::kTextStart + pe_image::kTextSize,
            0x90);
  return image;
}

struct ExportFixture : SessionFixture {
  CThreadContext thread{nullptr, 1};

  ExportFixture() { session->options.instructionCount = 2; }
  // The module as the stand-in and the session's module table both know it.
  void Load(const pe_image::Image& image, const char* path = kPath, DWORD base = kBase) {
    pe_image::Load(image, path, base);
    session->AddModule(CModule(path, base, static_cast<uint32_t>(image.bytes.size())));
  }
  // "name+displacement address size flags", or "none".
  std::string LookUp(DWORD address) {
    CSymbol symbol;
    if (!session->symbols.LookUp(address, &symbol)) return "none";
    char text[1200];
    snprintf(text, sizeof text, "%s+%x %08x %x %x", symbol.name.c_str(), static_cast<unsigned>(symbol.displacement),
             static_cast<unsigned>(symbol.address), static_cast<unsigned>(symbol.size),
             static_cast<unsigned>(symbol.flags));
    return text;
  }
};

struct LookUpCase {
  const char* what;
  DWORD offset;  // from kBase
  const char* expected;
};

TEST(ExportSymbols, NearestExportedFunctionWithItsSize) {
  static const LookUpCase kCases[] = {
      {"headers, below the first export", 0x0FFF, "none"},
      {"alias pair: Nt before Zw", 0x1040, "NtWaitForSingleObject+0 7bc01040 40 0"},
      {"last byte before the next export", 0x107F, "NtWaitForSingleObject+3f 7bc01040 40 0"},
      {"by ordinal only", 0x1080, "#3+0 7bc01080 80 0"},
      {"inside", 0x1105, "RtlUserThreadStart+5 7bc01100 700 0"},
      {"last export runs to the end of its section", 0x1FFF, "LastFunction+7ff 7bc01800 800 0"},
      {"export directory (forwarder text) is no code", 0x2000, "none"},
      {"data export is skipped", 0x3010, "none"},
      {"past the module", 0x4000, "none"},
  };
  ExportFixture f;
  f.Load(SystemImage());
  for (const LookUpCase& c : kCases) EXPECT_EQ(f.LookUp(kBase + c.offset), c.expected) << c.what;
  EXPECT_TRUE(f.log.lines.empty());
}

TEST(ExportSymbols, HandlerAnswerComesFirstAndExportsReadAsPlainSymbols) {
  ExportFixture f;
  f.Load(SystemImage());
  sim::AddSymbol("FromPdb", kBase + 0x1100, 0x20, SYMF_OMAP_GENERATED);
  EXPECT_EQ(f.LookUp(kBase + 0x1104), "FromPdb+4 7bc01100 20 1");
  // The handler has nothing below 0x1100 in the module: the export answers, flags clear.
  EXPECT_EQ(f.LookUp(kBase + 0x1044), "NtWaitForSingleObject+4 7bc01040 40 0");
}

TEST(ExportSymbols, ModuleWithoutExportsOrOutsideTheTableGivesNothingQuietly) {
  ExportFixture f;
  pe_image::Image image = SystemImage();
  image.Put32(image.exportEntry, 0);
  image.Put32(image.exportEntry + 4, 0);
  f.Load(image);
  EXPECT_EQ(f.LookUp(kBase + 0x1040), "none");
  // Exports of a module the session's table does not hold are not looked at.
  pe_image::Load(SystemImage(), "C:\\windows\\system32\\kernel32.dll", 0x7b400000);
  EXPECT_EQ(f.LookUp(0x7b401040), "none");
  EXPECT_TRUE(f.log.lines.empty());
}

TEST(ExportSymbols, LongNameIsCutAsTheHandlerCutsIt) {
  ExportFixture f;
  f.Load(pe_image::Build({{0x1000, std::string(2000, 'L'), ""}, {0x1010, "Next", ""}}));
  EXPECT_EQ(f.LookUp(kBase + 0x1004), std::string(1023, 'L') + "+4 7bc01000 10 0");
  EXPECT_EQ(f.LookUp(kBase + 0x1010), "Next+0 7bc01010 ff0 0");
}

struct DamageCase {
  const char* what;
  void (*damage)(pe_image::Image&);
  const char* problem;
};

// Names in text order: DataExport (no code: its name is never read), LastFunction, ...
TEST(ExportSymbols, DamagedDirectoriesGiveNoSymbolAndOneLogLine) {
  static const DamageCase kCases[] = {
      {"function count past every limit", [](pe_image::Image& i) { i.Put32(i.directory + 20, 0xFFFFFFFF); },
       "export counts too large"},
      {"name count past every limit", [](pe_image::Image& i) { i.Put32(i.directory + 24, 0x10001); },
       "export counts too large"},
      {"function array past the image", [](pe_image::Image& i) { i.Put32(i.directory + 20, 0x8000); },
       "export arrays outside the image"},
      {"name array address wraps", [](pe_image::Image& i) { i.Put32(i.directory + 32, 0xFFFFFFF0); },
       "export arrays outside the image"},
      {"ordinal array past the image", [](pe_image::Image& i) { i.Put32(i.directory + 36, 0x3FFF); },
       "export arrays outside the image"},
      {"export directory past the image", [](pe_image::Image& i) { i.Put32(i.exportEntry, 0x3FF0); },
       "export directory unreadable"},
      {"PE header offset past the image", [](pe_image::Image& i) { i.Put32(0x3C, 0xFFFFFFF0); }, "no PE header"},
      {"no MZ", [](pe_image::Image& i) { i.Put16(0, 0); }, "no MZ header"},
      {"section count past the loader's limit", [](pe_image::Image& i) { i.Put16(pe_image::kNtHeader + 6, 0xFFFF); },
       "damaged PE header"},
      {"64-bit optional header", [](pe_image::Image& i) { i.Put16(pe_image::kNtHeader + 24, 0x20B); },
       "no 32-bit optional header"},
      {"section table past the image",
       [](pe_image::Image& i) { i.Put16(pe_image::kNtHeader + 20, 0xFFF0); }, "section table unreadable"},
  };
  for (const DamageCase& c : kCases) {
    ExportFixture f;
    pe_image::Image image = SystemImage();
    c.damage(image);
    f.Load(image);
    EXPECT_EQ(f.LookUp(kBase + 0x1105), "none") << c.what;
    // The module is read once per report: a second look-up neither reads nor logs again.
    const int reads = sim::Calls("ReadProcessMemory");
    EXPECT_EQ(f.LookUp(kBase + 0x1040), "none") << c.what;
    EXPECT_EQ(sim::Calls("ReadProcessMemory"), reads) << c.what;
    EXPECT_LE(reads, 4) << c.what;
    EXPECT_EQ(f.log.lines, std::vector<std::string>{std::string("Exports of ") + kPath + " not used: " + c.problem})
        << c.what;
  }
}

// A damaged entry costs only itself: the function keeps its place under its ordinal, and one
// line says what was left out.
TEST(ExportSymbols, DamagedNamesLeaveTheRestOfTheDirectory) {
  static const DamageCase kCases[] = {
      {"name outside the image", [](pe_image::Image& i) { i.Put32(i.names + 4, 0x7FFFFFFF); }, "1 bad names"},
      {"name runs to the end of the image without its NUL",
       [](pe_image::Image& i) {
         std::fill(i.bytes.end() - 0x10, i.bytes.end(), 'A');
         i.Put32(i.names + 4, pe_image::kImageSize - 0x10);
       },
       "1 bad names"},
      {"name with a line break", [](pe_image::Image& i) { i.bytes[i.Get32(i.names + 4) + 2] = '\n'; },
       "1 bad names"},
      {"empty name", [](pe_image::Image& i) { i.bytes[i.Get32(i.names + 4)] = 0; }, "1 bad names"},
  };
  for (const DamageCase& c : kCases) {
    ExportFixture f;
    pe_image::Image image = SystemImage();
    c.damage(image);
    f.Load(image);
    EXPECT_EQ(f.LookUp(kBase + 0x1805), "#7+5 7bc01800 800 0") << c.what;
    EXPECT_EQ(f.LookUp(kBase + 0x1105), "RtlUserThreadStart+5 7bc01100 700 0") << c.what;
    EXPECT_EQ(f.log.lines, std::vector<std::string>{std::string("Exports of ") + kPath + " partly used: " + c.problem})
        << c.what;
  }
  ExportFixture f;
  pe_image::Image image = SystemImage();
  image.Put16(image.ordinals, 7);  // DataExport's name now points past the function count
  f.Load(image);
  EXPECT_EQ(f.LookUp(kBase + 0x1105), "RtlUserThreadStart+5 7bc01100 700 0");
  EXPECT_EQ(f.log.lines, std::vector<std::string>{std::string("Exports of ") + kPath +
                                                  " partly used: 1 name ordinals out of range"});
}

TEST(ExportSymbols, UnreadableHeadersAreSaidOnce) {
  ExportFixture f;
  sim::AddModule(kPath, kBase, 0x4000);  // no memory behind it
  f.session->AddModule(CModule(kPath, kBase, 0x4000));
  EXPECT_EQ(f.LookUp(kBase + 0x1000), "none");
  EXPECT_EQ(f.LookUp(kBase + 0x1100), "none");
  EXPECT_EQ(f.log.lines, std::vector<std::string>{std::string("Exports of ") + kPath + " not used: headers unreadable"});
}

// Counts at the limit, every name the same text and every function at one address: read
// with a few large reads, one function left.
TEST(ExportSymbols, HugeCountsWithinTheImageStayCheap) {
  ExportFixture f;
  pe_image::Image image = SystemImage();
  const uint32_t size = 0x100000, count = 0x10000;
  image.bytes.resize(size, 0);
  image.Put32(pe_image::kNtHeader + 24 + 56, size);
  const uint32_t functions = 0x10000, names = 0x50000, ordinals = 0x90000, text = 0xB0000;
  image.Put32(image.directory + 20, count);
  image.Put32(image.directory + 24, count);
  image.Put32(image.directory + 28, functions);
  image.Put32(image.directory + 32, names);
  image.Put32(image.directory + 36, ordinals);
  memcpy(&image.bytes[text], "Same", 5);
  for (uint32_t i = 0; i < count; ++i) {
    image.Put32(functions + 4 * i, 0x1100);
    image.Put32(names + 4 * i, text);
    image.Put16(ordinals + 2 * i, i);
  }
  image.Put32(image.exportEntry + 4, 0xFFFFFFFF);  // a directory "size" past everything
  f.Load(image);
  EXPECT_EQ(f.LookUp(kBase + 0x1104), "Same+4 7bc01100 f00 0");
  EXPECT_LE(sim::Calls("ReadProcessMemory"), 8);
  EXPECT_TRUE(f.log.lines.empty());
}

TEST(ExportSymbols, OneModuleCostsTwoReadsOncePerReport) {
  ExportFixture f;
  f.Load(SystemImage());
  EXPECT_EQ(f.LookUp(kBase + 0x1105), "RtlUserThreadStart+5 7bc01100 700 0");
  EXPECT_EQ(sim::Calls("ReadProcessMemory"), 2);  // the header page, the export directory
  EXPECT_EQ(f.LookUp(kBase + 0x1041), "NtWaitForSingleObject+1 7bc01040 40 0");
  EXPECT_EQ(sim::Calls("ReadProcessMemory"), 2);
  EXPECT_EQ(sim::Calls("SymGetSymFromAddr"), 2);  // the handler is still asked first
  // The next report reads the module again (through a cleared cache).
  f.session->moduleImages.Clear();
  f.session->memory.Clear();
  EXPECT_EQ(f.LookUp(kBase + 0x1105), "RtlUserThreadStart+5 7bc01100 700 0");
  EXPECT_EQ(sim::Calls("ReadProcessMemory"), 4);
}

void Word(DWORD address, DWORD value) {
  sim::Fill(address, {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                      static_cast<BYTE>(value >> 24)});
}

// "call eax" at offset: the return address after it is believed.
std::string CallEaxAt(pe_image::Image& image, uint32_t offset) {
  image.bytes[offset] = 0xFF;
  image.bytes[offset + 1] = 0xD0;
  char line[64];
  snprintf(line, sizeof line, "        %08x ffd0             call    eax\r\n", static_cast<unsigned>(kBase + offset));
  return line;
}

TEST(ExportSymbols, BackTraceFramesAndListingsNamedFromExports) {
  ExportFixture f;
  pe_image::Image image = SystemImage();
  const std::string call1 = CallEaxAt(image, 0x1083), call2 = CallEaxAt(image, 0x1103);
  f.Load(image);
  const DWORD stack = 0x120000, f0 = stack + 0x1000, f1 = f0 + 0x20, f2 = f1 + 0x20;
  sim::AddRegion(stack, 0x10000);
  const DWORD frames[3][3] = {{f0, f1, kBase + 0x1085}, {f1, f2, kBase + 0x1105}, {f2, 0, 0}};
  for (const auto& frame : frames) {
    Word(frame[0], frame[1]);
    Word(frame[0] + 4, frame[2]);
    for (DWORD i = 0; i < 4; ++i) Word(frame[0] + 8 + 4 * i, i + 1);
  }
  f.thread.eip = f.thread.context.Eip = kBase + 0x1050;
  f.thread.esp = f.thread.context.Esp = f0 - 0x10;
  f.thread.ebp = f.thread.context.Ebp = f0;
  WriteBackTrace(*f.session, f.thread);
  const std::string header = "FramePtr ReturnAd Param#1  Param#2  Param#3  Param#4  Function Name\r\n";
  EXPECT_EQ(f.Report(),
            "*----> Stack Back Trace <----*\r\n\r\n" + header +
                "00121000 7bc01085 00000001 00000002 00000003 00000004 ntdll!NtWaitForSingleObject+0x10 \r\n"
                "function: #3+0x5\r\n" +
                NopLines(kBase + 0x1082, kBase + 0x1082) + call1 + NopLines(kBase + 0x1085, kBase + 0x1088) + "\r\n" +
                header +
                "00121020 7bc01105 00000001 00000002 00000003 00000004 ntdll!#3+0x5 \r\n"
                "function: RtlUserThreadStart+0x5\r\n" +
                NopLines(kBase + 0x1102, kBase + 0x1102) + call2 + NopLines(kBase + 0x1105, kBase + 0x1108) + "\r\n" +
                header +
                "00121040 00000000 00000001 00000002 00000003 00000004 ntdll!RtlUserThreadStart+0x5 \r\n"
                "function: <nosymbols>\r\n\r\n"
                "\r\n");
  EXPECT_TRUE(f.log.lines.empty());
}

TEST(ExportSymbols, BranchAndMemoryOperandTargetsNamedFromExports) {
  ExportFixture f;
  pe_image::Image image = SystemImage();
  // call NtWaitForSingleObject; mov eax,[NtWaitForSingleObject+4]
  const std::vector<uint8_t> code = {0xE8, 0x3B, 0xFE, 0xFF, 0xFF, 0xA1, 0x44, 0x10, 0xC0, 0x7B};
  std::copy(code.begin(), code.end(), image.bytes.begin() + 0x1200);
  f.Load(image);
  char line[kListingLineSize];
  uint32_t at = kBase + 0x1200;
  ASSERT_TRUE(Disassemble(f.session->target, f.thread, at, line, false));
  EXPECT_STREQ(line, "7bc01200 e83bfeffff       call    NtWaitForSingleObject (7bc01040)");
  ASSERT_TRUE(Disassemble(f.session->target, f.thread, at, line, true));
  EXPECT_STREQ(line,
               "7bc01205 a14410c07b                                      ds:7bc01044=90909090\n"
               "                                  mov     eax,[NtWaitForSingleObject+0x4 (7bc01044)]");
}

// Ordinals count from the directory's base, which linkers may set to anything.
TEST(ExportSymbols, OrdinalNamesCountFromABiasedBase) {
  ExportFixture f;
  f.Load(pe_image::Build(SystemExports(), 100));
  EXPECT_EQ(f.LookUp(kBase + 0x1080), "#102+0 7bc01080 80 0");
  EXPECT_EQ(f.LookUp(kBase + 0x1105), "RtlUserThreadStart+5 7bc01100 700 0");
  EXPECT_TRUE(f.log.lines.empty());
}

// Where a name and an ordinal share an address, the name wins, whatever the order of the
// function array.
TEST(ExportSymbols, NameBeatsOrdinalAtOneAddress) {
  for (bool ordinalFirst : {true, false}) {
    ExportFixture f;
    std::vector<pe_image::Export> exports = {{0x1100, "", ""}, {0x1100, "Named", ""}, {0x1200, "", ""}};
    if (!ordinalFirst) std::swap(exports[0], exports[1]);
    f.Load(pe_image::Build(exports));
    EXPECT_EQ(f.LookUp(kBase + 0x1104), "Named+4 7bc01100 100 0") << ordinalFirst;
    EXPECT_EQ(f.LookUp(kBase + 0x1200), "#3+0 7bc01200 e00 0") << ordinalFirst;
  }
}

// A directory inside an executable section (as merged sections give): its forwarder texts are
// no code, and the function below it ends where the directory starts.
TEST(ExportSymbols, ForwarderInsideACodeSectionIsNoFunction) {
  ExportFixture f;
  pe_image::Image image = SystemImage();
  image.Put32(image.sectionTable + 8, 0x2000);  // .text now covers the export directory
  image.Put32(image.sectionTable + 40 + 36, pe_image::kSectionCode);
  const uint32_t forwarder = image.Get32(image.functions + 4 * 4);  // NtdllForward's text
  f.Load(image);
  EXPECT_EQ(f.LookUp(kBase + forwarder), "none");
  EXPECT_EQ(f.LookUp(kBase + 0x2000), "none");
  EXPECT_EQ(f.LookUp(kBase + 0x1FFF), "LastFunction+7ff 7bc01800 800 0");
  EXPECT_TRUE(f.log.lines.empty());
}

// Data the image places in a code section by a data directory (here its import address
// table) is no function and ends the function below it.
TEST(ExportSymbols, ExportInsideADataDirectoryIsSkipped) {
  ExportFixture f;
  pe_image::Image image = pe_image::Build({{0x1100, "Code", ""}, {0x1400, "ImportTableExport", ""}, {0x1800, "Late", ""}});
  image.Put32(image.exportEntry + 12 * 8, 0x1400);  // the import address table directory
  image.Put32(image.exportEntry + 12 * 8 + 4, 0x100);
  f.Load(image);
  EXPECT_EQ(f.LookUp(kBase + 0x13FF), "Code+2ff 7bc01100 300 0");
  EXPECT_EQ(f.LookUp(kBase + 0x1400), "none");
  EXPECT_EQ(f.LookUp(kBase + 0x1500), "none");
  EXPECT_EQ(f.LookUp(kBase + 0x1804), "Late+4 7bc01800 800 0");
}

// The image with its pages from offset on no-access, as a partly paged-out or damaged image.
void LoadWithHole(ExportFixture& f, const pe_image::Image& image, uint32_t hole) {
  sim::AddModule(kPath, kBase, static_cast<uint32_t>(image.bytes.size()));
  sim::AddRegion(kBase, hole, PAGE_EXECUTE_READ, MEM_IMAGE);
  sim::AddRegion(kBase + hole, static_cast<uint32_t>(image.bytes.size()) - hole, PAGE_NOACCESS, MEM_IMAGE);
  sim::Fill(kBase, std::vector<uint8_t>(image.bytes.begin(), image.bytes.begin() + hole));
  f.session->AddModule(CModule(kPath, kBase, static_cast<uint32_t>(image.bytes.size())));
}

struct HoleCase {
  const char* what;
  void (*shape)(pe_image::Image&);
  const char* at1105;
  const char* at1805;
  std::vector<std::string> log;
};

TEST(ExportSymbols, PartlyUnreadableDirectoryKeepsItsReadablePart) {
  const std::string partly = std::string("Exports of ") + kPath + " partly used: ";
  const HoleCase kCases[] = {
      {"a long name that ends just before the hole, the directory said to reach past it",
       [](pe_image::Image& i) {
         const uint32_t at = pe_image::kDataStart - 8 - 101;
         memset(&i.bytes[at], 'N', 100);
         i.bytes[at + 100] = 0;
         i.Put32(i.names + 4 * 4, at);  // RtlUserThreadStart's name
         i.Put32(i.exportEntry + 4, 0x1800);
       },
       "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN+5 "
       "7bc01100 700 0",
       "LastFunction+5 7bc01800 800 0",
       {}},
      {"the function array runs into the hole",
       [](pe_image::Image& i) {
         const uint32_t at = pe_image::kDataStart - 8;  // two of the seven entries readable
         memcpy(&i.bytes[at], &i.bytes[i.functions], 8);
         i.Put32(i.directory + 28, at);
       },
       "NtWaitForSingleObject+c5 7bc01040 fc0 0", "NtWaitForSingleObject+7c5 7bc01040 fc0 0",
       {"5 functions unreadable"}},
      {"the name arrays run into the hole",
       [](pe_image::Image& i) {
         const uint32_t names = pe_image::kDataStart - 12, ordinals = pe_image::kDataStart - 0x20;
         memcpy(&i.bytes[names], &i.bytes[i.names], 12);  // DataExport, LastFunction, NtWait...
         memcpy(&i.bytes[ordinals], &i.bytes[i.ordinals], 12);
         i.Put32(i.directory + 32, names);
         i.Put32(i.directory + 36, ordinals);
       },
       "#4+5 7bc01100 700 0", "LastFunction+5 7bc01800 800 0", {"3 names unreadable"}},
      {"a name lies in the hole",
       [](pe_image::Image& i) { i.Put32(i.names + 4, pe_image::kDataStart + 0x10); },
       "RtlUserThreadStart+5 7bc01100 700 0", "#7+5 7bc01800 800 0", {"1 bad names"}},
  };
  for (const HoleCase& c : kCases) {
    ExportFixture f;
    pe_image::Image image = SystemImage();
    c.shape(image);
    LoadWithHole(f, image, pe_image::kDataStart);
    EXPECT_EQ(f.LookUp(kBase + 0x1105), c.at1105) << c.what;
    EXPECT_EQ(f.LookUp(kBase + 0x1805), c.at1805) << c.what;
    std::vector<std::string> expected;
    for (const std::string& line : c.log) expected.push_back(partly + line);
    EXPECT_EQ(f.log.lines, expected) << c.what;
  }
}

// Module records stay after their DLL unloads; another DLL loaded at the same place is the
// one whose exports name its addresses.
TEST(ExportSymbols, LoadedModuleRecordWinsOverAnUnloadedOne) {
  ExportFixture f;
  f.session->AddModule(CModule("C:\\gone.dll", kBase, 0x4000));
  f.session->UnloadModule(kBase);
  f.Load(SystemImage());
  EXPECT_EQ(f.LookUp(kBase + 0x1105), "RtlUserThreadStart+5 7bc01100 700 0");
  EXPECT_TRUE(f.log.lines.empty());
  // With both gone the latest record answers.
  f.session->UnloadModule(kBase);
  f.session->moduleImages.Clear();
  EXPECT_EQ(f.LookUp(kBase + 0x1105), "RtlUserThreadStart+5 7bc01100 700 0");
}

// The listing's start search goes at most a fixed distance back: further from its symbol an
// address is listed from the call that ends there, or else from itself, its name kept on the
// "function:" line.
TEST(ExportSymbols, ListingStartSearchStaysNearTheAddress) {
  struct Case {
    DWORD offset;
    std::vector<BYTE> before;  // the bytes that end at the address
    DWORD first;               // the first listed address
    uint32_t maxDecodes;
  } const kCases[] = {
      {0xFF0, {}, 0xFEE, 0x1000},
      {0x1000, {}, 0x1000, 8},
      {0x12345, {}, 0x12345, 8},
      {0x12345, {0xE8, 0x10, 0x20, 0x30, 0x40}, 0x12340, 8},       // call rel32
      {0x12345, {0x90, 0xFF, 0x15, 0, 0x10, 0x40, 0}, 0x1233F, 8},  // call [00401000]
      {0x12345, {0xFF, 0xD0}, 0x12343, 8},                          // call eax
  };
  for (const Case& c : kCases) {
    ExportFixture f;
    const DWORD code = 0x00500000;
    // A module whose .text holds the code: only there is a call before the address believed.
    code_module::Add("C:\\app\\big.exe", code - 0x1000, 0x22000, 0x20000);
    f.session->AddModule(CModule("C:\\app\\big.exe", code - 0x1000, 0x22000));
    std::vector<BYTE> bytes(0x20000, 0x90);
    std::copy(c.before.begin(), c.before.end(), bytes.begin() + c.offset - c.before.size());
    sim::Fill(code, bytes);
    sim::AddSymbol("Big", code, 0x20000);
    CodeListingWork work;
    WriteCodeListing(*f.session, f.thread, code + c.offset, &work);
    const std::string report = f.Report();
    EXPECT_EQ(report.substr(0, 15), "function: Big\r\n") << c.offset;
    const size_t at = report.find("        ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(strtoul(report.substr(at + 8, 8).c_str(), nullptr, 16), code + c.first) << c.offset;
    EXPECT_NE(report.find(NopLines(code + c.offset, code + c.offset + 1)), std::string::npos) << c.offset;
    EXPECT_LE(work.lengthDecodes, c.maxDecodes) << c.offset;
  }
}

}  // namespace
