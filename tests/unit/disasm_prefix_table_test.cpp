// Every mandatory-prefix combination of the 0F, 0F 38 and 0F 3A maps against GNU objdump's
// reading of it, kept as data (tests/unit/data/objdump_prefix_combinations.txt, written by
// tools/x86list/prefix_combinations.py): sixteen ModR/M forms of each opcode under no prefix,
// 66, F3, F2, 66 F3 and 66 F2. Where objdump reads "(bad)" the listing has "???", and a
// prefix that makes an opcode undefined gives the map's length of an undefined opcode.
// Where objdump reads an instruction, the listing reads the same one at the same length.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "disasm/prefixed_maps.h"
#include "disasm_support.h"
#include "tools/x86list/objdump_names.h"

namespace {

struct Form {
  bool bad = false;
  uint32_t length = 0;
  std::string mnemonic;
};

struct Combination {
  std::string map;  // "0f", "0f38", "0f3a"
  uint8_t opcode = 0;
  std::string prefixes;  // "-", "66", "f3", ...
  Form forms[16];
};

constexpr uint8_t kForms[16] = {0x00, 0x08, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38,
                                0xC1, 0xC9, 0xD1, 0xD9, 0xE1, 0xE9, 0xF1, 0xF9};

// What the tables read otherwise than objdump, on purpose or for want of rows, by map,
// opcode and prefixes ("*": any, "p": any but none).
struct SetApart {
  const char* map;
  uint8_t opcode;
  const char* prefixes;
  const char* why;
};
constexpr SetApart kSetApart[] = {
    {"0f", 0x01, "p", "F2/F3/66 register forms (CET, TSX suspend tracking, SEV) are not in the tables"},
    {"0f", 0x05, "*", "the tables keep the 80286 name loadall where objdump reads syscall"},
    {"0f", 0x0E, "*", "femms: AMD 3DNow!, which processors of today do not run"},
    {"0f", 0x0F, "*", "AMD 3DNow!, which processors of today do not run"},
    {"0f", 0x18, "*", "register forms: reserved NOPs, listed as the prefetch of their reg field"},
    {"0f", 0x1A, "*", "MPX bnd* instructions, NOPs on processors without MPX"},
    {"0f", 0x1B, "*", "MPX bnd* instructions, NOPs on processors without MPX"},
    {"0f", 0x1C, "*", "cldemote, a hint NOP elsewhere"},
    {"0f", 0x1E, "p", "CET rdsspd, a NOP elsewhere"},
    {"0f", 0x2B, "p", "AMD SSE4a movntss/movntsd"},
    {"0f", 0x78, "*", "VMX vmread and AMD SSE4a extrq/insertq"},
    {"0f", 0x79, "*", "VMX vmwrite and AMD SSE4a extrq/insertq"},
    {"0f", 0xA6, "*", "cmpxchg in the early 80486 encoding the tables keep"},
    {"0f", 0xA7, "*", "cmpxchg in the early 80486 encoding the tables keep"},
    {"0f", 0xAE, "p", "prefixed forms (clwb, clflushopt, ptwrite, tpause, umonitor, FS/GS base) are not in the tables"},
    {"0f", 0xAE, "-", "objdump reads only F0 and F8 as mfence and sfence, the processor any rm"},
    {"0f", 0xBC, "p", "the 80486 rows keep their reading under any prefix"},
    {"0f", 0xBD, "p", "the 80486 rows keep their reading under any prefix"},
    {"0f", 0xC7, "p", "VMX vmclear/vmxon and rdpid are not in the tables"},
    {"0f", 0xD7, "p", "objdump reads F2/F3 pmovmskb, which the processor does not define"},
    {"0f38", 0x80, "*", "VMX invept"},
    {"0f38", 0x81, "*", "VMX invvpid"},
    {"0f38", 0x82, "*", "invpcid, a system instruction"},
    {"0f38", 0xCF, "*", "GFNI is not in the tables"},
    {"0f38", 0xD8, "*", "Key Locker is not in the tables"},
    {"0f38", 0xDC, "p", "Key Locker is not in the tables"},
    {"0f38", 0xDD, "p", "Key Locker is not in the tables"},
    {"0f38", 0xDE, "p", "Key Locker is not in the tables"},
    {"0f38", 0xDF, "p", "Key Locker is not in the tables"},
    {"0f38", 0xF5, "66", "CET wrussd"},
    {"0f38", 0xF6, "-", "CET wrssd"},
    {"0f38", 0xF8, "*", "movdir64b and enqcmd are not in the tables"},
    {"0f38", 0xF9, "*", "movdiri is not in the tables"},
    {"0f38", 0xFA, "*", "Key Locker is not in the tables"},
    {"0f38", 0xFB, "*", "Key Locker is not in the tables"},
    {"0f38", 0xFC, "*", "RAO-INT is not in the tables"},
    {"0f3a", 0xCE, "*", "GFNI is not in the tables"},
    {"0f3a", 0xCF, "*", "GFNI is not in the tables"},
};

bool IsSetApart(const std::string& map, uint8_t opcode, const std::string& prefixes) {
  for (const SetApart& s : kSetApart) {
    if (map != s.map || opcode != s.opcode) continue;
    const std::string which = s.prefixes;
    if (which == "*" || which == prefixes || (which == "p" && prefixes != "-")) return true;
  }
  return false;
}

// Whether the tables have a legacy row for the prefix that would select one: the last of
// F2/F3, else 66. Without one a prefix that objdump reads as "(bad)" is what makes the
// opcode undefined.
bool HasRowOfItsPrefix(const Combination& c) {
  if (c.prefixes == "-") return true;
  const disasm::MandatoryPrefix prefix = c.prefixes.find("f3") != std::string::npos   ? disasm::kPrefixF3
                                         : c.prefixes.find("f2") != std::string::npos ? disasm::kPrefixF2
                                                                                      : disasm::kPrefix66;
  const uint32_t map = c.map == "0f" ? disasm::kMap0F : c.map == "0f38" ? disasm::kMap0F38 : disasm::kMap0F3A;
  uint32_t count = 0;
  const disasm::PrefixedRow* rows = disasm::PrefixedRows(map, c.opcode, &count);
  for (uint32_t i = 0; i < count; ++i)
    if (rows[i].prefix == prefix && (rows[i].encodings & disasm::kLegacy) != 0) return true;
  return false;
}

// objdump's spellings that name the operand size the listing leaves to the operands.
std::string Name(const std::string& mnemonic) {
  static const std::map<std::string, std::string> kSized = {
      {"sgdtd", "sgdt"}, {"sidtd", "sidt"}, {"lgdtd", "lgdt"}, {"lidtd", "lidt"}, {"sgdtw", "sgdt"},
      {"sidtw", "sidt"}, {"lgdtw", "lgdt"}, {"lidtw", "lidt"}, {"pushw", "push"}, {"popw", "pop"}};
  const auto sized = kSized.find(mnemonic);
  return objdump_names::Canonical(sized == kSized.end() ? mnemonic : sized->second);
}

std::vector<Combination> ReadCombinations() {
  std::ifstream file(std::string(TARNHOLM_SOURCE_DIR) + "/tests/unit/data/objdump_prefix_combinations.txt");
  std::vector<Combination> combinations;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    Combination c;
    std::string opcode;
    in >> c.map >> opcode >> c.prefixes;
    c.opcode = static_cast<uint8_t>(strtoul(opcode.c_str(), nullptr, 16));
    std::string last;
    for (Form& form : c.forms) {
      std::string field;
      in >> field;
      if (field == ".") {
        form.bad = true;
        last.clear();
        continue;
      }
      const size_t colon = field.find(':');
      form.length = static_cast<uint32_t>(strtoul(field.substr(0, colon).c_str(), nullptr, 16));
      if (colon != std::string::npos) last = field.substr(colon + 1);
      form.mnemonic = last;
    }
    combinations.push_back(c);
  }
  return combinations;
}

std::vector<uint8_t> Bytes(const Combination& c, uint8_t modrm) {
  std::vector<uint8_t> bytes;
  if (c.prefixes != "-") bytes = Hex(c.prefixes);
  const std::vector<uint8_t> escape = Hex(c.map);
  bytes.insert(bytes.end(), escape.begin(), escape.end());
  bytes.push_back(c.opcode);
  bytes.push_back(modrm);
  bytes.insert(bytes.end(), 8, 0x90);
  return bytes;
}

std::string HexOf(const std::vector<uint8_t>& bytes, uint32_t n) {
  std::string text;
  for (uint32_t i = 0; i < n && i < bytes.size(); ++i) {
    char two[3];
    snprintf(two, sizeof two, "%02x", bytes[i]);
    text += two;
  }
  return text;
}

// The length of an undefined opcode of the map after n prefix bytes: the 0F map ends at the
// opcode, the three-byte maps take the ModR/M operand (and 0F 3A its immediate).
uint32_t UndefinedLength(const Combination& c, uint8_t modrm) {
  const uint32_t prefixes = c.prefixes == "-" ? 0 : static_cast<uint32_t>(c.prefixes.size() / 2);
  if (c.map == "0f") return prefixes + 2;
  (void)modrm;  // the forms use [eax] or a register: one ModR/M byte either way
  return prefixes + 4 + (c.map == "0f3a" ? 1 : 0);
}

TEST(DisasmPrefixTable, AgreesWithObjdumpOnEveryPrefixCombination) {
  const std::vector<Combination> combinations = ReadCombinations();
  ASSERT_EQ(combinations.size(), 3u * 256u * 6u - 2u * 6u);
  std::map<std::string, const Combination*> plain;
  for (const Combination& c : combinations)
    if (c.prefixes == "-") plain[c.map + HexOf({c.opcode}, 1)] = &c;
  uint32_t failures = 0, setApart = 0;
  auto unprefixedCase = [](const Combination& c) {
    Combination plain = c;
    plain.prefixes = "-";
    return plain;
  };
  for (const Combination& c : combinations) {
    const Combination& unprefixed = *plain[c.map + HexOf({c.opcode}, 1)];
    for (int f = 0; f < 16; ++f) {
      const Form& form = c.forms[f];
      const std::vector<uint8_t> bytes = Bytes(c, kForms[f]);
      const Decoded d = DecodeBytes(bytes);
      std::string problem;
      if (IsSetApart(c.map, c.opcode, c.prefixes)) {
        ++setApart;
      } else if (!d.ok) {
        problem = "not decoded";
      } else if (form.bad && HasRowOfItsPrefix(c)) {
        // Undefined for its ModR/M form (a register where memory is needed, say): "???",
        // with the ModR/M operand consumed as a group member's.
        if (d.mnemonic != "???") problem = "objdump (bad) form";
      } else if (form.bad && !unprefixed.forms[f].bad) {
        // The prefix makes the opcode undefined.
        if (d.mnemonic != "???" || d.length != UndefinedLength(c, kForms[f])) problem = "objdump (bad)";
      } else if (form.bad) {
        // Undefined for its ModR/M form already: the prefix may change nothing then.
        const Decoded plain = DecodeBytes(Bytes(unprefixedCase(c), kForms[f]));
        if (d.mnemonic != "???" && d.mnemonic != plain.mnemonic) problem = "objdump (bad)";
      } else if (d.length != form.length) {
        problem = "length " + std::to_string(form.length);
      } else if (Name(form.mnemonic) != Name(d.mnemonic)) {
        problem = "objdump " + form.mnemonic;
      }
      if (problem.empty()) continue;
      if (++failures <= 40)
        ADD_FAILURE() << c.prefixes << " " << c.map << " " << HexOf(bytes, d.length > 0 ? d.length : 4) << ": " << problem
                      << ", ours " << d.length << " \"" << d.prefix << d.mnemonic << "\"";
    }
  }
  EXPECT_EQ(failures, 0u);
  // Mostly instructions no compiler emits for a 32-bit program; the bounds keep the set
  // apart from growing unseen.
  EXPECT_LE(setApart, 3216u);
}

}  // namespace
