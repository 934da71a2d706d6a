// pe_manifest FILE: prints the application manifest (RT_MANIFEST resource 1) of a 32-bit
// PE image file, for the check of the built programs (tests/scripts/manifest.sh).
// Exit status: 0 printed, 1 the file has no manifest, 2 usage or the file cannot be read.
#include <stdio.h>

#include <vector>

#include "tools/pe_resource.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: pe_manifest FILE\n");
    return 2;
  }
  std::vector<uint8_t> image;
  if (!ReadPeFile(argv[1], &image)) {
    fprintf(stderr, "pe_manifest: cannot read %s\n", argv[1]);
    return 2;
  }
  std::vector<uint8_t> manifest;
  if (!FindPeResource(image, kPeResourceManifest, kPeManifestProcess, &manifest)) {
    fprintf(stderr, "pe_manifest: %s has no manifest (RT_MANIFEST resource 1)\n", argv[1]);
    return 1;
  }
  fwrite(manifest.data(), 1, manifest.size(), stdout);
  return 0;
}
