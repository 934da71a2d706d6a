// x86list: lists x86 code bytes the way the report's code listings show them.
#include <stdio.h>

#include "tools/x86list/x86list.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  x86list::Options options;
  std::string error;
  if (args.empty() || !x86list::ParseArguments(args, &options, &error)) {
    if (!error.empty()) fprintf(stderr, "x86list: %s\n", error.c_str());
    fputs(x86list::Usage(), stderr);
    return 2;
  }
  const std::string listing = x86list::Run(options);
  fwrite(listing.data(), 1, listing.size(), stdout);
  return 0;
}
