#include "tools/cli/process_match.h"

#include <stdlib.h>

namespace {

// Upper-case ranges and the distance to their lower-case letters.
struct FoldRange {
  wchar_t first;
  wchar_t last;
  wchar_t skip;  // a character inside the range that is no letter, or 0
  int offset;
};

constexpr FoldRange kFoldRanges[] = {
    {L'A', L'Z', 0, 0x20},
    {0x00C0, 0x00DE, 0x00D7, 0x20},  // Latin-1 letters; U+00D7 is the multiplication sign
    {0x0391, 0x03A9, 0x03A2, 0x20},  // Greek; U+03A2 is unassigned
    {0x0400, 0x040F, 0, 0x50},       // Cyrillic letters with marks (Ѐ..Џ)
    {0x0410, 0x042F, 0, 0x20},       // Cyrillic basic letters
    {0xFF21, 0xFF3A, 0, 0x20},       // full-width Latin
};

}  // namespace

wchar_t FoldNameCase(wchar_t c) {
  for (const FoldRange& range : kFoldRanges) {
    if (c >= range.first && c <= range.last && c != range.skip) return static_cast<wchar_t>(c + range.offset);
  }
  return c;
}

std::vector<uint32_t> MatchProcessName(const std::wstring& name, const std::vector<ProcessRow>& rows,
                                       std::wstring (*widen)(const std::string&)) {
  std::vector<uint32_t> ids;
  for (const ProcessRow& row : rows) {
    // The wide program name where the row has it: a name the code page lacks still matches.
    const std::wstring caption = row.programName.empty() ? widen(row.caption) : row.programName;
    if (caption.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) same = FoldNameCase(caption[i]) == FoldNameCase(name[i]);
    if (same) ids.push_back(static_cast<uint32_t>(strtoul(row.pidText.c_str(), nullptr, 10)));
  }
  return ids;
}

const char kProcessListHeader[] = "PROGRAM\tPID\tWORKING_SET_KB\tBITS\n";

std::string ProcessListText(const std::vector<ProcessRow>& rows) {
  std::string text = kProcessListHeader;
  for (const ProcessRow& row : rows) {
    // The working set as a plain number: the row's "%d KB" without its unit.
    std::string kib = row.memoryText;
    const size_t unit = kib.find(' ');
    if (unit != std::string::npos) kib.resize(unit);
    text += row.caption + "\t" + row.pidText + "\t" + kib + "\t" + (row.is64Bit ? "64" : "32") + "\n";
  }
  return text;
}

std::string IdList(const std::vector<uint32_t>& ids) {
  std::string text;
  for (uint32_t id : ids) text += (text.empty() ? "" : ", ") + std::to_string(id);
  return text;
}
