// The x86list developer tool as a library piece: parses its arguments, maps the bytes into the
// host stand-in's target and lists them linearly, line by line as Disassemble builds them.
// The tool's main and the golden-file tests share it.
#pragma once

#include <stdint.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "disasm/decoder.h"
#include "report/disassemble_target.h"
#include "disasm/listing.h"
#include "session/log_file.h"
#include "session/thread_context.h"
#include "sim/sim.h"

namespace x86list {

struct SymbolOption {
  std::string name;
  uint32_t address = 0;
  uint32_t size = 0;
};

struct MemoryOption {
  uint32_t address = 0;
  std::vector<uint8_t> bytes;
};

struct Options {
  uint32_t base = 0x00401000;
  std::vector<SymbolOption> symbols;
  bool evaluate = false;
  std::vector<std::pair<uint32_t, uint32_t>> registers;  // RegisterValue index, value
  std::vector<MemoryOption> memory;
  bool lengths = false;
  std::vector<uint8_t> code;
};

inline const char* Usage() {
  return "usage: x86list [--base HEX] [--symbol NAME=ADDR[:SIZE]]... [--eval [--reg NAME=HEX]... "
         "[--mem ADDR=HEXBYTES]...] [--lengths] HEXBYTES...\n";
}

inline bool ParseHex32(const std::string& text, uint32_t* value) {
  if (text.empty() || text.size() > 8) return false;
  char* end = nullptr;
  unsigned long parsed = strtoul(text.c_str(), &end, 16);
  if (end == nullptr || *end != 0) return false;
  *value = static_cast<uint32_t>(parsed);
  return true;
}

// Hex pairs; blanks between them are allowed.
inline bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes) {
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == '\t') continue;
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    if (high < 0) {
      high = digit;
    } else {
      bytes->push_back(static_cast<uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  return high < 0;
}

inline bool RegisterIndex(const std::string& name, uint32_t* index) {
  static const char* const kNames[] = {"eax", "ecx", "edx", "ebx", "esp", "ebp", "esi", "edi"};
  static const uint32_t kIndices[] = {9, 8, 7, 6, 14, 10, 5, 4};
  for (int i = 0; i < 8; ++i) {
    if (name == kNames[i]) {
      *index = kIndices[i];
      return true;
    }
  }
  return false;
}

inline bool ParseArguments(const std::vector<std::string>& args, Options* options, std::string* error) {
  std::string hex;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) return false;
      *out = args[++i];
      return true;
    };
    std::string text;
    if (arg == "--base") {
      if (!value(&text) || !ParseHex32(text, &options->base)) return *error = "bad --base", false;
    } else if (arg == "--symbol") {
      SymbolOption symbol;
      size_t equals;
      if (!value(&text) || (equals = text.rfind('=')) == std::string::npos || equals == 0)
        return *error = "bad --symbol", false;
      symbol.name = text.substr(0, equals);
      std::string where = text.substr(equals + 1);
      size_t colon = where.find(':');
      if (!ParseHex32(where.substr(0, colon), &symbol.address) ||
          (colon != std::string::npos && !ParseHex32(where.substr(colon + 1), &symbol.size)))
        return *error = "bad --symbol", false;
      options->symbols.push_back(symbol);
    } else if (arg == "--eval") {
      options->evaluate = true;
    } else if (arg == "--reg") {
      size_t equals;
      uint32_t index = 0;
      uint32_t number = 0;
      if (!value(&text) || (equals = text.find('=')) == std::string::npos ||
          !RegisterIndex(text.substr(0, equals), &index) || !ParseHex32(text.substr(equals + 1), &number))
        return *error = "bad --reg", false;
      options->registers.emplace_back(index, number);
    } else if (arg == "--mem") {
      MemoryOption memory;
      size_t equals;
      if (!value(&text) || (equals = text.find('=')) == std::string::npos ||
          !ParseHex32(text.substr(0, equals), &memory.address) ||
          !ParseHexBytes(text.substr(equals + 1), &memory.bytes) || memory.bytes.empty())
        return *error = "bad --mem", false;
      options->memory.push_back(memory);
    } else if (arg == "--lengths") {
      options->lengths = true;
    } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
      return *error = "unknown option " + arg, false;
    } else {
      hex += arg;
    }
  }
  if (!ParseHexBytes(hex, &options->code)) return *error = "bad HEXBYTES", false;
  if (options->code.empty()) return *error = "no HEXBYTES", false;
  if ((!options->registers.empty() || !options->memory.empty()) && !options->evaluate)
    return *error = "--reg and --mem need --eval", false;
  return true;
}

inline void SetContextRegister(CONTEXT& context, uint32_t index, uint32_t value) {
  switch (index) {
    case 9: context.Eax = value; break;
    case 8: context.Ecx = value; break;
    case 7: context.Edx = value; break;
    case 6: context.Ebx = value; break;
    case 14: context.Esp = value; break;
    case 10: context.Ebp = value; break;
    case 5: context.Esi = value; break;
    case 4: context.Edi = value; break;
    default: break;
  }
}

// Maps bytes at address into whole pages of the target, as the platform gives memory: each
// page that no region holds yet becomes a readable region of its own (zero-filled).
inline void MapBytes(uint32_t address, uint32_t size, const std::vector<uint8_t>& bytes, DWORD protect) {
  const uint32_t kPage = 0x1000;
  const uint64_t end = static_cast<uint64_t>(address) + size;
  for (uint64_t page = address & ~static_cast<uint64_t>(kPage - 1); page < end && page < 0x100000000ull;
       page += kPage) {
    bool held = false;
    for (const sim::Region& region : sim::target().regions)
      if (static_cast<uint32_t>(page) - region.base < region.size) held = true;
    if (!held) sim::AddRegion(static_cast<uint32_t>(page), kPage, protect);
  }
  sim::Fill(address, bytes);
}

// Lists the code linearly; every line ends with LF. The first instruction that cannot be
// read prints its failure line and ends the run.
inline std::string Run(const Options& options) {
  sim::Reset();
  std::string out;
  TextPane pane{nullptr, nullptr};
  CLogFile session("/dev/null", pane);
  session.process = sim::target().processHandle;
  sim::target().symbolsActive = true;
  // The pages behind the bytes stay readable (zero-filled), so the code window of the last
  // instructions is whole; an instruction that runs past the bytes gets the failure line of a
  // window cut at their end.
  const uint32_t size = static_cast<uint32_t>(options.code.size());
  MapBytes(options.base, size + disasm::kCodeWindowSize, options.code, PAGE_EXECUTE_READ);
  for (const MemoryOption& memory : options.memory)
    MapBytes(memory.address, static_cast<uint32_t>(memory.bytes.size()), memory.bytes, PAGE_READWRITE);
  for (const SymbolOption& symbol : options.symbols) sim::AddSymbol(symbol.name, symbol.address, symbol.size);

  CThreadContext thread(nullptr, 1);
  for (const auto& reg : options.registers) SetContextRegister(thread.context, reg.first, reg.second);

  const uint32_t end = options.base + size;
  auto runsPast = [&](uint32_t from, uint32_t length) { return length > end - from; };
  uint32_t address = options.base;
  char line[kListingLineSize];
  char text[32];
  while (address - options.base < end - options.base) {
    if (options.lengths) {
      uint32_t length = 0;
      bool ok = DisassembleLength(session.target, address, &length);
      if (ok && runsPast(address, length)) ok = false;
      snprintf(text, sizeof text, ok ? "%08x %u\n" : "%08x ??\n", address, length);
      out += text;
      if (!ok) break;
      address += length;
    } else {
      uint32_t next = address;
      bool ok = Disassemble(session.target, thread, next, line, options.evaluate);
      if (ok && runsPast(address, next - address)) {
        disasm::Text failure(line, kListingLineSize);
        const uint32_t left = end - address;
        disasm::WriteFailureLine(failure, address, &options.code[address - options.base],
                                 left < disasm::kCodeWindowSize ? left : disasm::kCodeWindowSize);
        next = address;
        ok = false;
      }
      address = next;
      out += line;
      out += '\n';
      if (!ok) break;
    }
  }
  return out;
}

}  // namespace x86list
