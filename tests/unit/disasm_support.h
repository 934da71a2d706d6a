// Shared pieces of the disassembler tests: hex parsing, decoding a byte window without a
// session, and listing bytes through x86list's runner (the simulated target).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disasm/decoder.h"
#include "report/disassemble_target.h"
#include "tools/x86list/x86list.h"

inline std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  x86list::ParseHexBytes(text, &bytes);
  return bytes;
}

struct Decoded {
  bool ok = false;
  uint32_t length = 0;
  std::string prefix, mnemonic, operands;
};

// The bytes are copied into a buffer of exactly their size, so a read past them is caught.
inline Decoded DecodeBytes(const std::vector<uint8_t>& bytes, uint32_t address = 0x00401000) {
  std::vector<uint8_t> window(bytes);
  disasm::DecoderState state;
  Decoded d;
  d.ok = disasm::DecodeInstruction(state, window.data(), static_cast<uint32_t>(window.size()), address, nullptr);
  d.length = state.cursor;
  d.prefix = state.prefix.c_str();
  d.mnemonic = state.mnemonic.c_str();
  d.operands = state.operands.c_str();
  return d;
}

// One instruction's expected decoding: its length and texts.
struct DecodeCase {
  const char* hex;
  uint32_t length;
  const char* prefix;
  const char* mnemonic;
  const char* operands;
};

// The texts and length of c, and the same length from the lengths-only path.
inline void ExpectDecodes(const DecodeCase& c) {
  const std::vector<uint8_t> bytes = Hex(c.hex);
  const Decoded d = DecodeBytes(bytes);
  ASSERT_TRUE(d.ok) << c.hex;
  EXPECT_EQ(d.length, c.length) << c.hex;
  EXPECT_EQ(d.prefix, c.prefix) << c.hex;
  EXPECT_EQ(d.mnemonic, c.mnemonic) << c.hex;
  EXPECT_EQ(d.operands, c.operands) << c.hex;
  uint32_t length = 0;
  ASSERT_TRUE(DecodeLength(bytes.data(), static_cast<uint32_t>(bytes.size()), &length)) << c.hex;
  EXPECT_EQ(length, c.length) << c.hex;
}

inline std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (c == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

// x86list with a command line given as one text.
inline std::string List(const std::string& commandLine) {
  x86list::Options options;
  std::string error;
  if (!x86list::ParseArguments(SplitWords(commandLine), &options, &error)) return "error: " + error;
  return x86list::Run(options);
}
