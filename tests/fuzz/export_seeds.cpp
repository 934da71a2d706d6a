// Writes the seed images of the export-table fuzz target into a directory: modules of the
// stand-in's PE builder (names, ordinals, forwarders, data exports, a biased ordinal base), each
// with all pages readable and with the export directory's page or the page after it unreadable.
//   export_seeds DIR
#include <stdio.h>

#include <string>
#include <vector>

#include "tests/unit/pe_image.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fputs("usage: export_seeds DIR\n", stderr);
    return 2;
  }
  const std::vector<std::vector<pe_image::Export>> modules = {
      {{0x1040, "ZwWaitForSingleObject", ""},
       {0x1040, "NtWaitForSingleObject", ""},
       {0x1080, "", ""},
       {0x1100, "RtlUserThreadStart", ""},
       {0, "NtdllForward", "kernelbase.Forwarded"},
       {0x3010, "DataExport", ""},
       {0x1800, "LastFunction", ""}},
      {{0x1000, std::string(300, 'L'), ""}, {0x1010, "Next", ""}},
      {{0x1100, "", ""}, {0x1100, "Named", ""}, {0x1200, "", ""}},
  };
  const uint8_t masks[] = {0x0, 0x4, 0x8};
  int written = 0;
  for (size_t m = 0; m < modules.size(); ++m) {
    for (uint32_t base : {1u, 100u}) {
      pe_image::Image image = pe_image::Build(modules[m], base);
      for (uint8_t mask : masks) {
        const std::string path = std::string(argv[1]) + "/seed-" + std::to_string(m) + "-" + std::to_string(base) +
                                 "-" + std::to_string(mask);
        FILE* file = fopen(path.c_str(), "wb");
        if (file == nullptr) return 1;
        fputc(mask, file);
        fwrite(image.bytes.data(), 1, image.bytes.size(), file);
        fclose(file);
        ++written;
      }
    }
  }
  printf("%d seeds\n", written);
  return 0;
}
