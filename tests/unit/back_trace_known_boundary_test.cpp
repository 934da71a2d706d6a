// The code before an address without a symbol: the window still begins 50 bytes back, but
// its decoding starts at the first instruction boundary the linear decoding of the module's
// code section found there, so that no line comes from inside an instruction.
#include <gtest/gtest.h>

#include "report/back_trace.h"
#include "report/code_sync.h"
#include "tests/unit/code_module.h"
#include "tests/unit/test_support.h"

namespace {

constexpr DWORD kBase = 0x400000;
constexpr DWORD kText = 0x401000;
// A virtual call in the middle of an optimized function: mov edx,[esi+0x8]; call edx;
// test eax,eax; je ...; the return address lies 50 bytes past the byte 08 of the mov.
constexpr DWORD kMov = 0x401100;
constexpr DWORD kReturn = kMov + 2 + 50;

struct BoundaryFixture : SessionFixture {
  CThreadContext thread{nullptr, 1};

  // app.exe at 0x400000: headers, .text from 0x401000 (0x1000 bytes of nops), .data.
  void AddApp() {
    code_module::Add("C:\\app\\app.exe", kBase, 0x3000, 0x1000);
    session->AddModule(CModule("C:\\app\\app.exe", kBase, 0x3000));
  }
  // The code: nops from the section start, a few bytes of other code, the call and what
  // follows it, all of it instructions from the section start on.
  void FillCode(DWORD mov) {
    sim::Fill(mov - 7, {0x55, 0x8b, 0xec, 0x56, 0x8b, 0x75, 0x08});  // push ebp; mov ebp,esp; push esi; mov esi,[ebp+0x8]
    sim::Fill(mov, {0x8b, 0x56, 0x08, 0xff, 0xd2, 0x85, 0xc0, 0x0f, 0x84, 0x9e, 0x07, 0x00, 0x00});
    std::vector<BYTE> rest;
    for (int i = 0; i < 13; ++i) rest.insert(rest.end(), {0x8b, 0x45, 0xfc});  // mov eax,[ebp-0x4]
    rest.insert(rest.end(), {0x50, 0x5e, 0x5d, 0xc3});                         // push eax; pop esi; pop ebp; ret
    sim::Fill(mov + 13, rest);
  }
  std::string List(uint32_t address, int32_t count) {
    session->options.instructionCount = count;
    WriteCodeListing(*session, thread, address);
    return Report();
  }
};

// The lines of a listing that start with the instruction bytes.
std::vector<std::string> Bytes(const std::string& text) {
  std::vector<std::string> columns;
  for (size_t at = text.find("\r\n        "); at != std::string::npos; at = text.find("\r\n        ", at + 2)) {
    columns.push_back(text.substr(at + 10, 24));
  }
  return columns;
}

}  // namespace

TEST(BackTraceKnownBoundary, ListingBeginsAtABoundaryOfTheSection) {
  BoundaryFixture f;
  f.AddApp();
  f.FillCode(kMov);
  EXPECT_EQ(f.List(kReturn, 16),
            "function: <nosymbols>\r\n"
            "        00401103 ffd2             call    edx\r\n"
            "        00401105 85c0             test    eax,eax\r\n"
            "        00401107 0f849e070000     je      004018ab\r\n"
            "        0040110d 8b45fc           mov     eax,[ebp-0x4]          ss:fffffffc=????????\r\n"
            "        00401110 8b45fc           mov     eax,[ebp-0x4]          ss:fffffffc=????????\r\n"
            "        00401113 8b45fc           mov     eax,[ebp-0x4]          ss:fffffffc=????????\r\n"
            "        00401116 8b45fc           mov     eax,[ebp-0x4]          ss:fffffffc=????????\r\n"
            "        00401119 8b45fc           mov     eax,[ebp-0x4]          ss:fffffffc=????????\r\n"
            "        0040111c 8b45fc           mov     eax,[ebp-0x4]          ss:fffffffc=????????\r\n"
            "        0040111f 8b45fc           mov     eax,[ebp-0x4]          ss:fffffffc=????????\r\n"
            "        00401122 8b45fc           mov     eax,[ebp-0x4]          ss:fffffffc=????????\r\n"
            "        00401125 8b45fc           mov     eax,[ebp-0x4]          ss:fffffffc=????????\r\n"
            "        00401128 8b45fc           mov     eax,[ebp-0x4]          ss:fffffffc=????????\r\n"
            "        0040112b 8b45fc           mov     eax,[ebp-0x4]          ss:fffffffc=????????\r\n"
            "        0040112e 8b45fc           mov     eax,[ebp-0x4]          ss:fffffffc=????????\r\n"
            "        00401131 8b45fc           mov     eax,[ebp-0x4]          ss:fffffffc=????????\r\n"
            "        00401134 50               push    eax\r\n"
            "        00401135 5e               pop     esi\r\n"
            "        00401136 5d               pop     ebp\r\n"
            "        00401137 c3               ret\r\n"
            "        00401138 90               nop\r\n"
            "        00401139 90               nop\r\n"
            "        0040113a 90               nop\r\n"
            "        0040113b 90               nop\r\n"
            "        0040113c 90               nop\r\n"
            "        0040113d 90               nop\r\n"
            "        0040113e 90               nop\r\n"
            "        0040113f 90               nop\r\n"
            "        00401140 90               nop\r\n"
            "        00401141 90               nop\r\n"
            "        00401142 90               nop\r\n"
            "        00401143 90               nop\r\n"
            "        00401144 90               nop\r\n"
            "        00401145 90               nop\r\n"
            "\r\n");
}

// Around a return address the start that meets it through its call is taken; that search
// begins at the section's boundary too.
TEST(BackTraceKnownBoundary, ReturnAddressListingBeginsAtABoundary) {
  BoundaryFixture f;
  f.AddApp();
  f.FillCode(kMov);
  sim::Fill(kMov + 52, {0xff, 0xd2});  // a second call edx; 50 bytes back lies the d2 of the first
  f.session->options.instructionCount = 20;
  WriteReturnAddressListing(*f.session, f.thread, kMov + 54);
  const std::vector<std::string> lines = Bytes(f.Report());
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(0, 13), "00401105 85c0");  // test eax,eax, not rol byte ptr [...]
  EXPECT_EQ(lines[1].substr(0, 21), "00401107 0f849e070000");
  EXPECT_EQ(lines[15].substr(0, 13), "00401134 ffd2");
}

// Outside every module's code the plain rule stands: the same bytes list from the byte 50
// back, through lines that are not the program's, until the decoding falls into step.
TEST(BackTraceKnownBoundary, WithoutACodeSectionThePlainRuleStands) {
  BoundaryFixture f;
  sim::AddRegion(kText, 0x1000, PAGE_EXECUTE_READ, MEM_PRIVATE).bytes.assign(0x1000, 0x90);
  f.FillCode(kMov);
  const std::vector<std::string> lines = Bytes(f.List(kReturn, 20));
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0].substr(0, 13), "00401102 08ff");
  EXPECT_EQ(lines[1].substr(0, 21), "00401104 d285c00f849e");
  EXPECT_EQ(lines[2].substr(0, 11), "0040110a 07");
  EXPECT_EQ(lines[3].substr(0, 13), "0040110b 0000");
  EXPECT_EQ(lines[4].substr(0, 15), "0040110d 8b45fc");
}

// The section is decoded once per report, however many listings look into it; a symbol that
// starts right at the window's start is a boundary of its own.
TEST(BackTraceKnownBoundary, SectionIsDecodedOnceAndSymbolStartsStand) {
  BoundaryFixture f;
  f.AddApp();
  f.FillCode(kMov);
  f.session->options.instructionCount = 2;
  WriteCodeListing(*f.session, f.thread, kReturn);
  const size_t reads = sim::Reads().size();
  WriteCodeListing(*f.session, f.thread, kReturn + 3);
  WriteCodeListing(*f.session, f.thread, kReturn - 3);
  EXPECT_LE(sim::Reads().size(), reads + 2) << "the section is not read again";

  // A symbol of 100 bytes that starts 50 bytes before the address gives the same window,
  // and its start is the program's word for a boundary: the listing starts there.
  BoundaryFixture g;
  g.AddApp();
  g.FillCode(kMov);
  sim::AddSymbol("at_the_byte", kReturn - 50, 100);
  const std::string text = g.List(kReturn, 20);
  EXPECT_EQ(text.substr(0, 48), "function: at_the_byte\r\n        00401102 08ff    ");
}

// Within 50 bytes of the section's start the window begins before the section: its first
// boundary is the section's start.
TEST(BackTraceKnownBoundary, NearTheSectionStartTheSectionStartIsTheBoundary) {
  BoundaryFixture f;
  f.AddApp();
  f.FillCode(kText + 7);
  const std::vector<std::string> lines = Bytes(f.List(kText + 7 + 5, 16));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].substr(0, 11), "00401000 55");
}
