// Golden listings: each case of tests/unit/golden/disasm_*.txt is an x86list command line
// ("$ ARGS") followed by the exact lines it prints. TARNHOLM_UPDATE_GOLDEN=1 rewrites the
// files from the current output.
#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <sstream>

#include "disasm_support.h"

namespace {

struct GoldenCase {
  std::string command;
  std::string expected;
};

std::vector<GoldenCase> ReadCases(const std::string& path, std::vector<std::string>* header) {
  std::ifstream file(path);
  std::vector<GoldenCase> cases;
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind("$ ", 0) == 0) {
      cases.push_back({line.substr(2), ""});
    } else if (cases.empty()) {
      header->push_back(line);
    } else {
      cases.back().expected += line + "\n";
    }
  }
  return cases;
}

// The first differing line, in the manner of a unified diff.
std::string Difference(const std::string& expected, const std::string& actual) {
  std::istringstream e(expected), a(actual);
  std::string le, la;
  for (int n = 1;; ++n) {
    bool he = static_cast<bool>(std::getline(e, le));
    bool ha = static_cast<bool>(std::getline(a, la));
    if (!he && !ha) return "";
    if (!he || !ha || le != la) {
      return "@@ line " + std::to_string(n) + " @@\n-" + (he ? le : "(end)") + "\n+" + (ha ? la : "(end)") + "\n";
    }
  }
}

TEST(DisasmGolden, ListingsMatchTheGoldenFiles) {
  const std::string dir = std::string(TARNHOLM_SOURCE_DIR) + "/tests/unit/golden";
  const bool update = getenv("TARNHOLM_UPDATE_GOLDEN") != nullptr && std::string(getenv("TARNHOLM_UPDATE_GOLDEN")) == "1";
  DIR* folder = opendir(dir.c_str());
  ASSERT_NE(folder, nullptr) << dir;
  std::vector<std::string> files;
  while (dirent* entry = readdir(folder)) {
    std::string name = entry->d_name;
    if (name.rfind("disasm_", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".txt") files.push_back(name);
  }
  closedir(folder);
  ASSERT_FALSE(files.empty());
  for (const std::string& name : files) {
    const std::string path = dir + "/" + name;
    std::vector<std::string> header;
    std::vector<GoldenCase> cases = ReadCases(path, &header);
    EXPECT_FALSE(cases.empty()) << path;
    std::string rewritten;
    for (const std::string& line : header) rewritten += line + "\n";
    for (const GoldenCase& c : cases) {
      const std::string actual = List(c.command);
      rewritten += "$ " + c.command + "\n" + actual;
      if (!update && actual != c.expected)
        ADD_FAILURE() << path << ": $ " << c.command << "\n" << Difference(c.expected, actual)
                      << "(TARNHOLM_UPDATE_GOLDEN=1 rewrites the file)";
    }
    if (update) std::ofstream(path) << rewritten;
  }
}

}  // namespace
