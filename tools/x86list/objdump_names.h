// How GNU objdump (-M intel) names an instruction, brought to the listing's spelling: its main
// mnemonic without the prefixes it prints, and one name per pair of synonyms. Shared by
// x86diff and the table tests that keep objdump's readings as data.
#pragma once

#include <string.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace objdump_names {

inline std::vector<std::string> Words(const std::string& text) {
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
inline std::string ObjdumpMnemonic(const std::string& text) {
  static const std::set<std::string> kPrefixes = {"rep",   "repz",   "repe",   "repnz", "repne", "lock",
                                                  "data16", "addr16", "data32", "addr32", "cs",    "ds",
                                                  "es",    "ss",     "fs",     "gs",    "bnd",   "notrack"};
  for (const std::string& word : Words(text))
    if (!kPrefixes.count(word)) return word;
  return "";
}

// One spelling per mnemonic where the two disassemblers name the same thing differently.
inline std::string Canonical(std::string m) {
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
  // objdump names the compare predicate and the carry-less multiply's halves in pseudo
  // mnemonics (cmpltps, vcmpunordps, pclmulhqhqdq); the listing keeps the immediate.
  static const std::set<std::string> kPredicates = {
      "eq",    "lt",     "le",     "unord",   "neq",    "nlt",    "nle",      "ord",    "eq_uq",  "nge",   "ngt",
      "false", "neq_oq", "ge",     "gt",      "true",   "eq_os",  "lt_oq",    "le_oq",  "unord_s", "neq_us", "nlt_uq",
      "nle_uq", "ord_s", "eq_us",  "nge_uq",  "ngt_uq", "false_os", "neq_os", "ge_oq",  "gt_oq",  "true_us"};
  for (const char* base : {"vcmp", "cmp"}) {
    const size_t n = strlen(base);
    if (m.size() > n + 2 && m.compare(0, n, base) == 0) {
      const std::string type = m.substr(m.size() - 2);
      if ((type == "ps" || type == "pd" || type == "ss" || type == "sd") && kPredicates.count(m.substr(n, m.size() - n - 2))) {
        m = base + type;
        break;
      }
    }
  }
  for (const char* base : {"vpclmul", "pclmul"}) {
    const size_t n = strlen(base);
    if (m.size() == n + 6 && m.compare(0, n, base) == 0 && m.compare(m.size() - 3, 3, "qdq") == 0) m = std::string(base) + "qdq";
  }
  for (const char* base : kStringBases) {
    size_t n = strlen(base);
    if (m.size() == n + 1 && m.compare(0, n, base) == 0 && strchr("bwd", m[n])) m = base;
  }
  auto it = kSynonyms.find(m);
  return it == kSynonyms.end() ? m : it->second;
}

}  // namespace objdump_names
