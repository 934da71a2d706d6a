// x86diff: decodes the .text section of a 32-bit PE image linearly with the disassembler and
// with GNU objdump, and compares instruction boundaries and mnemonics wherever objdump sees an
// instruction of the 80386/80486/x87 set that the opcode tables cover. Encodings the tables
// treat otherwise on purpose (MMX, SSE, P6 additions, invd, wbinvd, invlpg, ud2, 0F A6/A7,
// 0F B0/B1, the operand-size branch forms ...) are skipped, and both streams re-synchronise
// at the next common boundary. Exit status 1 on any disagreement inside the compared subset.
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

namespace {

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
  return true;
}

// Decodes linearly; also checks that the lengths-only path agrees with the text path.
bool RunOurs(const PeTextSection& text, std::vector<Instruction>* out, uint32_t* lengthMismatches) {
  const size_t size = text.bytes.size();
  for (size_t at = 0; at < size;) {
    const uint32_t count = static_cast<uint32_t>(size - at < 64 ? size - at : 64);
    disasm::DecoderState state;
    const disasm::DecodeContext none = {nullptr, nullptr, false};
    const bool ok = disasm::DecodeInstruction(state, &text.bytes[at], count, text.address + at, none);
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

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    size_t j = i;
    while (j < text.size() && text[j] != ' ') ++j;
    if (j > i) words.push_back(text.substr(i, j - i));
    i = j;
  }
  return words;
}

// objdump's main mnemonic: the first word that is not a prefix.
std::string ObjdumpMnemonic(const std::string& text) {
  static const std::set<std::string> kPrefixes = {"rep",   "repz",   "repe",   "repnz", "repne", "lock",
                                                  "data16", "addr16", "data32", "addr32", "cs",    "ds",
                                                  "es",    "ss",     "fs",     "gs",    "bnd",   "notrack"};
  for (const std::string& word : Words(text))
    if (!kPrefixes.count(word)) return word;
  return "";
}

// One spelling per mnemonic where the two disassemblers name the same thing differently.
std::string Canonical(std::string m) {
  static const std::map<std::string, std::string> kSynonyms = {
      {"jz", "je"},         {"jnz", "jne"},       {"jnb", "jae"},       {"jnbe", "ja"},       {"jpe", "jp"},
      {"jpo", "jnp"},       {"jnl", "jge"},       {"jnle", "jg"},       {"jc", "jb"},         {"jnae", "jb"},
      {"jnc", "jae"},       {"jna", "jbe"},       {"jng", "jle"},       {"jnge", "jl"},       {"setz", "sete"},
      {"setnz", "setne"},   {"setnb", "setae"},   {"setnbe", "seta"},   {"setpe", "setp"},    {"setpo", "setnp"},
      {"setnl", "setge"},   {"setnle", "setg"},   {"setc", "setb"},     {"setnae", "setb"},   {"setnc", "setae"},
      {"setna", "setbe"},   {"setng", "setle"},   {"setnge", "setl"},   {"loopnz", "loopne"}, {"loopz", "loope"},
      {"jcxz", "jecxz"},    {"int3", "int"},      {"fwait", "wait"},    {"pushad", "pusha"},  {"popad", "popa"},
      {"pushfd", "pushf"},  {"popfd", "popf"},    {"iretd", "iret"},    {"cwde", "cbw"},      {"cdq", "cwd"},
      {"retn", "ret"},      {"lret", "retf"},     {"sal", "shl"},       {"fstp1", "fstp"},    {"fstp8", "fstp"},
      {"fstp9", "fstp"},    {"fcom2", "fcom"},    {"fcomp3", "fcomp"},  {"fcomp5", "fcomp"},  {"fxch4", "fxch"},
      {"fxch7", "fxch"},    {"ffreep", "ffree"},  {"fnstsw", "fstsw"},  {"fnstcw", "fstcw"},  {"fnsave", "fsave"},
      {"fnstenv", "fstenv"}, {"fninit", "finit"}, {"fnclex", "fclex"},  {"fneni", "feni"},    {"fndisi", "fdisi"},
      {"fneni(8087", "feni"}, {"fndisi(8087", "fdisi"}, {"fnsetpm(287", "fsetpm"}, {"fsetpm(287", "fsetpm"},
  };
  static const char* const kStringBases[] = {"movs", "cmps", "stos", "lods", "scas", "ins", "outs"};
  for (const char* base : kStringBases) {
    size_t n = strlen(base);
    if (m.size() == n + 1 && m.compare(0, n, base) == 0 && strchr("bwd", m[n])) m = base;
  }
  auto it = kSynonyms.find(m);
  return it == kSynonyms.end() ? m : it->second;
}

// Encodings whose decoding the opcode tables set apart from the Intel map on purpose, or that
// lie outside the 80386/80486/x87 set (with the Pentium additions the tables carry).
bool Excluded(const uint8_t* bytes, uint32_t length, const std::string& objdumpText) {
  const std::string mnemonic = ObjdumpMnemonic(objdumpText);
  if (mnemonic.empty() || mnemonic == "(bad)" || objdumpText.find("(bad)") != std::string::npos) return true;
  if (objdumpText.find("mm") != std::string::npos && (objdumpText.find("xmm") != std::string::npos ||
                                                       objdumpText.find(" mm") != std::string::npos ||
                                                       objdumpText.find(",mm") != std::string::npos))
    return true;
  uint32_t i = 0;
  bool operand16 = false;
  bool address16 = false;
  bool repeat = false;
  while (i < length && strchr("\x26\x2e\x36\x3e\x64\x65\x66\x67\xf0\xf2\xf3", bytes[i]) && bytes[i] != 0) {
    if (bytes[i] == 0x66) operand16 = true;
    if (bytes[i] == 0x67) address16 = true;
    if (bytes[i] == 0xF3) repeat = true;
    ++i;
  }
  if (i >= length) return true;  // prefixes alone
  const uint8_t op = bytes[i];
  // objdump folds wait into the x87 instruction after it; the tables list wait on its own.
  if (op == 0x9B && length > i + 1) return true;
  // F3 90: pause (Pentium 4); the tables show rep and nop.
  if (op == 0x90 && i > 0 && bytes[i - 1] == 0xF3) return true;
  // One-byte rows that are "???" in the tables: 82 (alias of 80), D6 (salc), F1 (int1).
  if (op == 0x82 || op == 0xD6 || op == 0xF1) return true;
  // Near branches take their displacement by the address size in the tables.
  if ((operand16 || address16) && (op == 0xE8 || op == 0xE9)) return true;
  if (address16 && (op == 0xEB || (op >= 0x70 && op <= 0x7F) || (op >= 0xE0 && op <= 0xE3))) return true;
  // P6 x87: fcmov, fcomi, fucomi, fcomip, fucomip.
  if (i + 1 < length && (op == 0xDA || op == 0xDB) && bytes[i + 1] >= 0xC0 && bytes[i + 1] <= 0xDF) return true;
  if (i + 1 < length && (op == 0xDB || op == 0xDF) && bytes[i + 1] >= 0xE8 && bytes[i + 1] <= 0xF7) return true;
  if (op != 0x0F) return false;
  if (i + 1 >= length) return true;
  const uint8_t second = bytes[i + 1];
  if ((operand16 || address16) && second >= 0x80 && second <= 0x8F) return true;
  if (repeat && (second == 0xBC || second == 0xBD)) return true;  // tzcnt, lzcnt
  static const std::set<uint8_t> kOtherwise = {0x04, 0x05, 0x24, 0x25, 0x26, 0x7F, 0xA6, 0xA7, 0xAE,
                                               0xB0, 0xB1, 0xB8, 0xB9, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6};
  if (kOtherwise.count(second)) return true;
  if (disasm::TwoByteIndex(second) == 0x104) return true;  // outside the mapped two-byte rows
  if (i + 2 < length && second == 0x01) {
    const uint8_t modrm = bytes[i + 2];
    const uint8_t reg = (modrm >> 3) & 7;
    if ((modrm >> 6) == 3 || reg == 5 || reg == 7) return true;  // VMX, monitor, invlpg ...
  }
  if (i + 2 < length && second == 0xC7 && (((bytes[i + 2] >> 3) & 7) != 1 || (bytes[i + 2] >> 6) == 3)) return true;
  return false;
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
    PeTextSection text;
    if (!ReadPeTextSection(image, &text)) {
      fprintf(stderr, "x86diff: %s: no readable .text section\n", image);
      failed = true;
      continue;
    }
    std::vector<Instruction> theirs, ours;
    uint32_t lengthMismatches = 0;
    if (!RunObjdump(text, &theirs) || theirs.empty()) {
      fprintf(stderr, "x86diff: objdump failed on %s\n", image);
      failed = true;
      continue;
    }
    RunOurs(text, &ours, &lengthMismatches);

    uint32_t compared = 0, agreed = 0, excluded = 0, skipped = 0, boundaryErrors = 0, mnemonicErrors = 0;
    int shown = 0;
    size_t i = 0, j = 0;
    while (i < theirs.size() && j < ours.size()) {
      const Instruction& t = theirs[i];
      const Instruction& u = ours[j];
      if (t.address != u.address) {
        ++skipped;
        if (t.address < u.address) {
          ++i;
        } else {
          ++j;
        }
        continue;
      }
      const uint8_t* bytes = &text.bytes[t.address - text.address];
      const uint32_t available = static_cast<uint32_t>(text.bytes.size() - (t.address - text.address));
      if (Excluded(bytes, t.length < available ? t.length : available, t.mnemonic)) {
        ++excluded;
        ++i;
        ++j;
        continue;
      }
      ++compared;
      const std::string theirName = Canonical(ObjdumpMnemonic(t.mnemonic));
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
      if (problem && shown < show) {
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
      ++i;
      ++j;
    }
    const bool ok = boundaryErrors == 0 && mnemonicErrors == 0 && lengthMismatches == 0;
    printf("%s: .text %zu bytes at %08x: objdump %zu instructions, ours %zu; compared %u, agreed %u (%.4f%%), "
           "boundary disagreements %u, mnemonic disagreements %u, skipped as set apart %u, passed in "
           "re-synchronisation %u, lengths-only mismatches %u: %s\n",
           image, text.bytes.size(), text.address, theirs.size(), ours.size(), compared, agreed,
           compared ? 100.0 * agreed / compared : 0.0, boundaryErrors, mnemonicErrors, excluded, skipped,
           lengthMismatches, ok ? "PASS" : "FAIL");
    if (!ok) failed = true;
  }
  return failed ? 1 : 0;
}
