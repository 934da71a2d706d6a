// Code listings in a real DLL on the host: maps a 32-bit PE DLL file into the stand-in the
// way the loader maps it, and writes the code listing around every address read from stdin,
// with the export-table fallback of the symbol look-up or without it (--no-exports, as a
// symbol handler that knows nothing, and the module not in the module table;
// --no-export-table: the module in the table, its export directory hidden, as an EXE
// without symbols or exports). Prints a report's module list and the listings, and
// the ReadProcessMemory count on stderr, and per listing a line "work: ADDRESS DISPLACEMENT
// LENGTH-DECODES LINE-DECODES" (the displacement from the symbol, "-" without one).
// bench/system_dll_listings.sh drives it.
//
// usage: system_dll_listings DLL [--no-exports|--no-export-table] < ADDRESSES
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include <string>
#include <vector>

#include "report/back_trace.h"
#include "session/symbol_service.h"
#include "tests/unit/test_support.h"
#include "tools/pe_text.h"

namespace {

// The image as the loader lays it out: headers, then each section at its address.
// ntOffset: where its NT headers start.
bool MapImage(const char* path, std::vector<uint8_t>* image, uint32_t* imageBase, uint32_t* ntOffset) {
  std::vector<uint8_t> d;
  pe::Headers pe;
  if (!ReadPeFile(path, &d) || !ReadPeHeaders(d, &pe)) return false;
  *imageBase = pe.optional.ImageBase;
  *ntOffset = pe.ntOffset;
  const uint32_t imageSize = pe.optional.SizeOfImage;
  const uint32_t headers = std::min<uint32_t>(pe.optional.SizeOfHeaders, std::min<size_t>(imageSize, d.size()));
  image->assign(imageSize, 0);
  memcpy(image->data(), d.data(), headers);
  for (const IMAGE_SECTION_HEADER& section : pe.sections) {
    const uint32_t address = section.VirtualAddress, raw = section.SizeOfRawData, at = section.PointerToRawData;
    if (address >= imageSize || at >= d.size()) continue;
    const size_t count = std::min({static_cast<size_t>(raw), static_cast<size_t>(imageSize - address), d.size() - at});
    memcpy(image->data() + address, d.data() + at, count);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fputs("usage: system_dll_listings DLL [--no-exports|--no-export-table] < ADDRESSES\n", stderr);
    return 2;
  }
  const bool exports = !(argc > 2 && strcmp(argv[2], "--no-exports") == 0);
  const bool exportTable = !(argc > 2 && strcmp(argv[2], "--no-export-table") == 0);
  std::vector<uint8_t> image;
  uint32_t base = 0, nt = 0;
  if (!MapImage(argv[1], &image, &base, &nt)) {
    fprintf(stderr, "system_dll_listings: %s is no 32-bit PE image\n", argv[1]);
    return 1;
  }
  if (!exportTable) {
    // The export directory entry of the optional header.
    const size_t entry = nt + pe::kNtFixedSize + offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) +
                         IMAGE_DIRECTORY_ENTRY_EXPORT * sizeof(IMAGE_DATA_DIRECTORY);
    if (entry + sizeof(IMAGE_DATA_DIRECTORY) <= image.size()) memset(image.data() + entry, 0, sizeof(IMAGE_DATA_DIRECTORY));
  }
  const char* slash = strrchr(argv[1], '/');
  const std::string name = std::string("C:\\windows\\system32\\") + (slash ? slash + 1 : argv[1]);
  const uint32_t size = static_cast<uint32_t>(image.size());

  LineRecorder log;
  const std::string report = ScratchDir() + "/listings.txt";
  {
    sim::Reset();
    CLogFile session(report.c_str(), log.pane);
    session.process = sim::target().processHandle;
    sim::target().symbolsActive = true;
    session.options.instructionCount = 16;  // the wizard's default
    sim::AddModule(name, base, size);
    sim::AddRegion(base, size, PAGE_EXECUTE_READ, MEM_IMAGE);
    sim::Fill(base, image);
    if (exports) session.AddModule(CModule(name, base, size));
    session.Print("(%08x - %08x) %s\r\n\r\nState Dump for Thread ID 0x1\r\n", base, base + size, name.c_str());
    CThreadContext thread(nullptr, 1);
    char word[32];
    std::string work;
    while (scanf("%31s", word) == 1) {
      const uint32_t address = static_cast<uint32_t>(strtoul(word, nullptr, 16));
      CSymbol symbol;
      const bool named = session.symbols.LookUp(address, &symbol);
      const uint32_t displacement = symbol.displacement;
      CodeListingWork listing;
      WriteCodeListing(session, thread, address, &listing);
      char line[96];
      if (named) {
        snprintf(line, sizeof line, "work: %08x %x %u %u\n", address, displacement, listing.lengthDecodes,
                 listing.lineDecodes);
      } else {
        snprintf(line, sizeof line, "work: %08x - %u %u\n", address, listing.lengthDecodes, listing.lineDecodes);
      }
      work += line;
    }
    fputs(work.c_str(), stderr);
    fprintf(stderr, "ReadProcessMemory calls: %d\n", sim::Calls("ReadProcessMemory"));
  }
  const std::string text = ReadWholeFile(report);
  fwrite(text.data(), 1, text.size(), stdout);
  for (const std::string& line : log.lines) fprintf(stderr, "log: %s\n", line.c_str());
  return 0;
}
