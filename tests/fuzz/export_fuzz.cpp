// libFuzzer target: arbitrary module images through the export-table fallback of the symbol
// look-up. Checks: no sanitizer report, no crash, and an answer only inside the module with a
// terminated name that fits the symbol buffer. Time and memory stay bounded by the parser's
// own limits (libFuzzer's -timeout and -rss_limit_mb catch a slip).
//
// Input: the image's first bytes (headers, export directory, names); the rest of a 1 MiB
// image is zero. Byte 0x3C (e_lfanew) etc. are simply part of the input.
//
//   clang++-14 -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -I. -o build/export_fuzz \
//     disasm/*.cpp session/*.cpp report/*.cpp sim/*.cpp tests/fuzz/export_fuzz.cpp
//   build/export_fuzz -runs=200000 -max_len=8192
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "session/log_file.h"
#include "session/symbol_lookup.h"
#include "sim/sim.h"

namespace {

constexpr uint32_t kBase = 0x7bc00000;
constexpr uint32_t kImageSize = 0x100000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sim::Reset();
  std::vector<BYTE> image(data, data + (size < kImageSize ? size : kImageSize));
  sim::AddModule("C:\\fuzz\\module.dll", kBase, kImageSize);
  sim::AddRegion(kBase, kImageSize, PAGE_EXECUTE_READ, MEM_IMAGE);
  sim::Fill(kBase, image);
  sim::target().symbolsActive = true;
  TextPane pane{nullptr, nullptr};
  CLogFile session("/dev/null", pane);
  session.process = sim::target().processHandle;
  session.AddModule(CModule("C:\\fuzz\\module.dll", kBase, kImageSize));
  static const uint32_t kProbes[] = {0, 0x1000, 0x1234, 0x2000, 0x10000, kImageSize - 1};
  for (uint32_t probe : kProbes) {
    uint32_t displacement = 0;
    if (!LookUpSymbolAt(session, kBase + probe, &displacement)) continue;
    const IMAGEHLP_SYMBOL& symbol = *session.symbolBuffer;
    if (symbol.Address - kBase >= kImageSize || displacement != kBase + probe - symbol.Address ||
        displacement >= symbol.Size || memchr(symbol.Name, 0, symbol.MaxNameLength) == nullptr) {
      abort();
    }
  }
  return 0;
}
