// x86diff: decodes the .text section of a 32-bit PE image linearly with the disassembler and
// with GNU objdump (-M intel), and compares the instruction boundaries and mnemonics of every
// instruction. Only what objdump cannot decode either ("(bad)", ".byte") is set apart; both
// streams then re-synchronise at the next common boundary. Differences of spelling alone are
// normalized: the condition-code synonyms, size suffixes of string instructions, objdump's
// folding of wait into the next x87 instruction, its compare-predicate and pclmulqdq pseudo
// mnemonics, and the DC/DE register rows the tables name in the order of the memory rows.
// Exit status 1 on any boundary or mnemonic disagreement.
//
// usage: x86diff [--show N] IMAGE...
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "disasm/decoder.h"
#include "disasm/disassemble.h"
#include "disasm/tables.h"
#include "tools/pe_text.h"
#include "tools/x86list/objdump_names.h"

namespace {

using objdump_names::Canonical;
using objdump_names::ObjdumpMnemonic;

struct Instruction {
  uint32_t address = 0;
  uint32_t length = 0;
  std::string mnemonic;  // objdump: the whole text; ours: mnemonic text
  std::string prefix;    // ours: the printed prefixes
};

bool RunObjdump(const PeTextSection& text, std::vector<Instruction>* out) {
  char path[] = "/tmp/x86diff-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return false;
  bool written = write(fd, text.bytes.data(), text.bytes.size()) == static_cast<ssize_t>(text.bytes.size());
  close(fd);
  if (!written) return false;
  char command[512];
  snprintf(command, sizeof command,
           "objdump -D -b binary -m i386 -M intel --insn-width=16 --adjust-vma=0x%x %s 2>/dev/null", text.address,
           path);
  FILE* pipe = popen(command, "r");
  if (!pipe) return false;
  char line[4096];
  while (fgets(line, sizeof line, pipe)) {
    // "  7b601000:\t55                   \tpush   ebp"
    char* colon = strchr(line, ':');
    if (!colon || colon[1] != '\t') continue;
    char* end = nullptr;
    unsigned long address = strtoul(line, &end, 16);
    if (end != colon) continue;
    char* bytes = colon + 2;
    char* tab = strchr(bytes, '\t');
    Instruction instruction;
    instruction.address = static_cast<uint32_t>(address);
    for (char* p = bytes; *p && p != tab; ++p)
      if (p[0] != ' ' && p[0] != '\n' && p[1] != ' ' && p[1] != '\n' && p[1] != '\t' && p[1] != 0) {
        ++instruction.length;
        ++p;
      }
    if (tab) {
      std::string rest(tab + 1);
      while (!rest.empty() && (rest.back() == '\n' || rest.back() == ' ')) rest.pop_back();
      instruction.mnemonic = rest;
      out->push_back(instruction);
    } else if (!out->empty()) {
      out->back().length += instruction.length;  // bytes continued on a line of their own
    }
  }
  pclose(pipe);
  unlink(path);
  // objdump folds wait (9B) into the x87 instruction after it; the listing shows wait as the
  // instruction it is. Split them again.
  std::vector<Instruction> split;
  split.reserve(out->size());
  for (const Instruction& instruction : *out) {
    const uint32_t at = instruction.address - text.address;
    if (instruction.length > 1 && at < text.bytes.size() && text.bytes[at] == 0x9B) {
      split.push_back({instruction.address, 1, "fwait", ""});
      split.push_back({instruction.address + 1, instruction.length - 1, instruction.mnemonic, ""});
    } else {
      split.push_back(instruction);
    }
  }
  out->swap(split);
  return true;
}

// Decodes linearly; also checks that the lengths-only path agrees with the text path.
bool RunOurs(const PeTextSection& text, std::vector<Instruction>* out, uint32_t* lengthMismatches) {
  const size_t size = text.bytes.size();
  for (size_t at = 0; at < size;) {
    const uint32_t count = static_cast<uint32_t>(size - at < 64 ? size - at : 64);
    disasm::DecoderState state;
    const bool ok = disasm::DecodeInstruction(state, &text.bytes[at], count, text.address + at, nullptr);
    uint32_t length = 0;
    const bool lengthOk = DecodeLength(&text.bytes[at], count, &length);
    if (ok != lengthOk || (ok && length != state.cursor)) ++*lengthMismatches;
    if (!ok) break;
    Instruction instruction;
    instruction.address = static_cast<uint32_t>(text.address + at);
    instruction.length = state.cursor;
    instruction.mnemonic = state.mnemonic.c_str();
    instruction.prefix = state.prefix.c_str();
    out->push_back(instruction);
    at += state.cursor;
  }
  return true;
}

// Only genuinely undefined encodings are set apart: what objdump cannot decode either.
bool Excluded(const std::string& objdumpText) {
  const std::string mnemonic = ObjdumpMnemonic(objdumpText);
  return mnemonic.empty() || mnemonic == "(bad)" || mnemonic == ".byte" || objdumpText.find("(bad)") != std::string::npos;
}

// The mnemonic ours is compared by, in objdump's spelling where the two name one
// instruction differently.
std::string OurComparedName(const Instruction& t, const Instruction& u, const uint8_t* bytes, const std::string& theirName) {
  std::string ourName = Canonical(u.mnemonic);
  // 66 90: objdump names the operand-size form of xchg eax,eax; the tables call 90 nop.
  if (ourName == "nop" && theirName == "xchg") ourName = "xchg";
  // DC and DE with a register operand: the tables name reg 4 to 7 in the order of the
  // memory rows (fsub, fsubr, fdiv, fdivr), where the Intel map has the reverse pairs.
  if (t.length == 2 && (bytes[0] == 0xDC || bytes[0] == 0xDE) && bytes[1] >= 0xE0) {
    static const std::map<std::string, std::string> kReversed = {
        {"fsub", "fsubr"}, {"fsubr", "fsub"}, {"fdiv", "fdivr"}, {"fdivr", "fdiv"},
        {"fsubp", "fsubrp"}, {"fsubrp", "fsubp"}, {"fdivp", "fdivrp"}, {"fdivrp", "fdivp"}};
    auto reversed = kReversed.find(ourName);
    if (reversed != kReversed.end()) ourName = reversed->second;
  }
  return ourName;
}

// One image's comparison, instruction by instruction, with the first show disagreements printed.
struct Comparison {
  const PeTextSection& text;
  int show;
  int shown = 0;
  uint32_t compared = 0, agreed = 0, excluded = 0, skipped = 0, boundaryErrors = 0, mnemonicErrors = 0;
  bool afterUndefined = false;  // the streams parted at bytes objdump cannot decode either

  // Where the two streams stand at different addresses: the one behind steps on.
  void Part(const Instruction& t, const Instruction& u) {
    ++skipped;
    if (afterUndefined) return;
    ++boundaryErrors;
    if (shown < show) {
      ++shown;
      printf("  boundary %08x: objdump and ours part here (objdump \"%s\", ours \"%s\")\n",
             t.address < u.address ? t.address : u.address, t.mnemonic.c_str(), u.mnemonic.c_str());
    }
    afterUndefined = true;  // counted once; the rest is re-synchronisation
  }

  // Both streams have an instruction at the same address.
  void Compare(const Instruction& t, const Instruction& u) {
    const uint8_t* bytes = &text.bytes[t.address - text.address];
    const uint32_t available = static_cast<uint32_t>(text.bytes.size() - (t.address - text.address));
    afterUndefined = false;
    if (Excluded(t.mnemonic)) {
      afterUndefined = true;
      ++excluded;
      return;
    }
    ++compared;
    const std::string theirName = Canonical(ObjdumpMnemonic(t.mnemonic));
    const std::string ourName = OurComparedName(t, u, bytes, theirName);
    const char* problem = nullptr;
    if (t.length != u.length) {
      ++boundaryErrors;
      problem = "boundary";
    } else if (theirName != ourName) {
      ++mnemonicErrors;
      problem = "mnemonic";
    } else {
      ++agreed;
    }
    if (!problem || shown >= show) return;
    ++shown;
    std::string hex;
    for (uint32_t k = 0; k < t.length && k < available; ++k) {
      char two[4];
      snprintf(two, sizeof two, "%02x", bytes[k]);
      hex += two;
    }
    printf("  %s %08x %-24s objdump: %u \"%s\"  ours: %u \"%s%s\"\n", problem, t.address, hex.c_str(), t.length,
           t.mnemonic.c_str(), u.length, u.prefix.c_str(), u.mnemonic.c_str());
  }

  void Run(const std::vector<Instruction>& theirs, const std::vector<Instruction>& ours) {
    size_t i = 0, j = 0;
    while (i < theirs.size() && j < ours.size()) {
      const Instruction& t = theirs[i];
      const Instruction& u = ours[j];
      if (t.address != u.address) {
        Part(t, u);
        if (t.address < u.address) {
          ++i;
        } else {
          ++j;
        }
        continue;
      }
      Compare(t, u);
      ++i;
      ++j;
    }
  }
};

// False when the image cannot be compared or the two disagree anywhere.
bool CompareImage(const char* image, int show) {
  PeTextSection text;
  if (!ReadPeTextSection(image, &text)) {
    fprintf(stderr, "x86diff: %s: no readable .text section\n", image);
    return false;
  }
  std::vector<Instruction> theirs, ours;
  uint32_t lengthMismatches = 0;
  if (!RunObjdump(text, &theirs) || theirs.empty()) {
    fprintf(stderr, "x86diff: objdump failed on %s\n", image);
    return false;
  }
  RunOurs(text, &ours, &lengthMismatches);
  Comparison c{text, show};
  c.Run(theirs, ours);
  const bool ok = c.boundaryErrors == 0 && c.mnemonicErrors == 0 && lengthMismatches == 0;
  printf("%s: .text %zu bytes at %08x: objdump %zu instructions, ours %zu; compared %u, agreed %u (%.4f%%), "
         "boundary disagreements %u, mnemonic disagreements %u, skipped as set apart %u, passed in "
         "re-synchronisation %u, lengths-only mismatches %u: %s\n",
         image, text.bytes.size(), text.address, theirs.size(), ours.size(), c.compared, c.agreed,
         c.compared ? 100.0 * c.agreed / c.compared : 0.0, c.boundaryErrors, c.mnemonicErrors, c.excluded, c.skipped,
         lengthMismatches, ok ? "PASS" : "FAIL");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  int show = 20;
  std::vector<const char*> images;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--show") == 0 && i + 1 < argc) {
      show = atoi(argv[++i]);
    } else {
      images.push_back(argv[i]);
    }
  }
  if (images.empty()) {
    fprintf(stderr, "usage: x86diff [--show N] IMAGE...\n");
    return 2;
  }
  bool failed = false;
  for (const char* image : images) {
    if (!CompareImage(image, show)) failed = true;
  }
  return failed ? 1 : 0;
}
