// The code listing near the end of a 64 KiB function, the plain rule against the fast one,
// in one run: decode steps, decodes per byte of the span and time, and a check that both
// wrote the same text. Runs on the host stand-in; build without sanitizers for the times.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "report/back_trace.h"
#include "sim/sim.h"
#include "tests/unit/back_trace_plain_listing.h"
#include "tests/unit/test_support.h"

namespace {

constexpr DWORD kCode = 0x401000;
constexpr DWORD kSpan = 0x10000;

struct Pane {
  TextPane pane{&Pane::Ignore, nullptr};
  static void Ignore(void*, const char*) {}
};

struct Case {
  const char* name;
  std::vector<BYTE> code;
  DWORD symbolSize;
  DWORD address;
};

// One listing of the case with a fresh session; returns the text, counts decodes.
template <typename Write>
std::string Run(const Case& c, const std::string& path, Write write, double* seconds) {
  sim::Reset();
  sim::AddRegion(kCode, kSpan + 0x1000, PAGE_EXECUTE_READ, MEM_IMAGE);
  sim::Fill(kCode, c.code);
  sim::AddSymbol("big", kCode, c.symbolSize);
  sim::target().symbolsActive = true;
  Pane pane;
  {
    CLogFile session(path.c_str(), pane.pane);
    session.process = sim::target().processHandle;
    session.options.instructionCount = 16;
    CThreadContext thread(nullptr, 1);
    const auto begin = std::chrono::steady_clock::now();
    write(session, thread, c.address);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  }
  return ReadWholeFile(path);
}

// Code that looks compiled: a prologue, moves, calls and compares, over and over; decoding
// from the function start meets every instruction.
std::vector<BYTE> CompiledLooking() {
  static const BYTE kPattern[] = {0x55, 0x89, 0xe5, 0x83, 0xec, 0x28, 0x8b, 0x45, 0x08, 0x89, 0x45, 0xf4,
                                  0x83, 0x7d, 0x08, 0x00, 0x7e, 0x10, 0x8b, 0x45, 0x08, 0x83, 0xe8, 0x01,
                                  0x89, 0x04, 0x24, 0xe8, 0xe0, 0xff, 0xff, 0xff, 0xeb, 0x1a, 0xc9, 0xc3};
  std::vector<BYTE> code(kSpan);
  for (size_t i = 0; i < code.size(); ++i) code[i] = kPattern[i % sizeof kPattern];
  return code;
}

// Five chains of 5-byte moves (every byte is b8) behind a run of nops: every start in the
// nops leads onto one chain, and the address lies on another, met only from the first start
// behind the nops.
std::vector<BYTE> Restarting(DWORD nops) {
  std::vector<BYTE> code(kSpan, 0xb8);
  for (DWORD i = 0; i < nops; ++i) code[i] = 0x90;
  return code;
}

}  // namespace

int main() {
  char pattern[] = "/tmp/tarnholm-bench-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir == nullptr) return 1;
  const std::string plainPath = std::string(dir) + "/plain.txt", fastPath = std::string(dir) + "/fast.txt";

  const DWORD nops = 400;
  const DWORD nearEnd = 36 * 1800;  // an instruction boundary of the compiled-looking code
  const Case cases[] = {
      {"compiled-looking code, met by the first pass", CompiledLooking(), kSpan, kCode + nearEnd},
      {"address met only by the pass from start+401", Restarting(nops), kSpan, kCode + nops + 1 + 5 * 13000},
      {"address 200 bytes past the end of its symbol", CompiledLooking(), nearEnd - 200, kCode + nearEnd},
  };
  bool same = true;
  for (const Case& c : cases) {
    uint64_t plainDecodes = 0;
    double plainSeconds = 0, fastSeconds = 0;
    const std::string plain = Run(
        c, plainPath,
        [&](CLogFile& s, const CThreadContext& t, uint32_t a) { WritePlainCodeListing(s, t, a, &plainDecodes); },
        &plainSeconds);
    CodeListingWork work;
    const std::string fast = Run(
        c, fastPath, [&](CLogFile& s, const CThreadContext& t, uint32_t a) { WriteCodeListing(s, t, a, &work); },
        &fastSeconds);
    const uint64_t fastDecodes = static_cast<uint64_t>(work.lengthDecodes) + work.lineDecodes;
    printf("%s (span %u bytes, address start+0x%x):\n", c.name, static_cast<unsigned>(c.symbolSize),
           static_cast<unsigned>(c.address - kCode));
    printf("  plain: %10llu decodes %8.3f per byte %10.3f ms\n", static_cast<unsigned long long>(plainDecodes),
           static_cast<double>(plainDecodes) / c.symbolSize, plainSeconds * 1e3);
    printf("  fast:  %10llu decodes %8.3f per byte %10.3f ms  (%u lengths, %u lines)\n",
           static_cast<unsigned long long>(fastDecodes), static_cast<double>(fastDecodes) / c.symbolSize,
           fastSeconds * 1e3, work.lengthDecodes, work.lineDecodes);
    printf("  plain/fast: %.1f times the decodes, %.1f times the time; texts %s\n",
           static_cast<double>(plainDecodes) / fastDecodes, plainSeconds / fastSeconds,
           plain == fast && !plain.empty() ? "identical" : "DIFFER");
    same = same && plain == fast;
  }
  unlink(plainPath.c_str());
  unlink(fastPath.c_str());
  rmdir(dir);
  return same ? 0 : 1;
}
