#include "disasm/listing.h"

#include "disasm/tables.h"

namespace disasm {

namespace {

void AppendHexByte(Text& text, uint8_t byte) { text.AppendPair(kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]); }

uint32_t LittleEndian(const uint8_t* bytes, uint32_t size) {
  uint32_t value = 0;
  for (uint32_t i = size; i > 0; --i) value = (value << 8) | bytes[i - 1];
  return value;
}

// "0x" and the hex digits of the low 2 * size digits of value, leading zeros dropped.
void AppendHexNumber(Text& text, uint32_t value, uint32_t size) {
  char digits[8];
  uint32_t count = 2 * size;
  for (uint32_t i = 0; i < count; ++i) digits[i] = kHexDigits[(value >> (4 * (count - 1 - i))) & 0x0F];
  uint32_t first = 0;
  while (first + 1 < count && digits[first] == '0') ++first;
  text.Append("0x");
  text.Append(digits + first, count - first);
}

}  // namespace

void AppendHexBytes(Text& text, const uint8_t* bytes, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) AppendHexByte(text, bytes[i]);
}

void AppendHexValue(Text& text, const uint8_t* bytes, uint32_t n) {
  for (uint32_t i = n; i > 0; --i) AppendHexByte(text, bytes[i - 1]);
}

void AppendNumber(Text& text, const uint8_t* bytes, uint32_t size, bool isSigned) {
  uint32_t value = LittleEndian(bytes, size);
  if (size == 1) value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(value)));
  if (!isSigned) {
    AppendHexNumber(text, value, size);
    return;
  }
  if (value == 0) return;
  if (size == 1 && static_cast<int32_t>(value) < 0) {
    text.Append('-');
    AppendHexNumber(text, 0u - value, size);
    return;
  }
  text.Append('+');
  AppendHexNumber(text, value, size);
}

void AppendSymbolic(Text& text, SymbolResolver* symbols, const uint8_t* bytes, uint32_t size) {
  SymbolName name;
  if (symbols != nullptr && symbols->Resolve(LittleEndian(bytes, size), &name)) {
    text.Append(name.text, name.length);
    const uint32_t displacement = name.displacement;
    const uint8_t offset[4] = {static_cast<uint8_t>(displacement), static_cast<uint8_t>(displacement >> 8),
                               static_cast<uint8_t>(displacement >> 16), static_cast<uint8_t>(displacement >> 24)};
    AppendNumber(text, offset, size, true);
    text.Append(" (");
    AppendHexValue(text, bytes, size);
    text.Append(')');
    return;
  }
  AppendHexValue(text, bytes, size);
}

void AppendHead(Text& head, uint32_t address, const uint8_t* bytes, uint32_t n) {
  const uint8_t column[4] = {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 24)};
  AppendHexValue(head, column, 4);
  head.Append(' ');
  AppendHexBytes(head, bytes, n);
}

void AppendValue(Text& values, const char* segment, uint32_t address, const uint8_t* bytes, uint32_t size,
                 bool readable) {
  const uint8_t at[4] = {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                         static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 24)};
  values.Append(segment);
  AppendHexValue(values, at, 4);
  values.Append('=');
  if (readable) {
    AppendHexValue(values, bytes, size);
  } else {
    for (uint32_t i = 0; i < size; ++i) values.Append("??");
  }
  values.Append(' ');
}

void FinishValues(Text& values) {
  if (!values.empty() && values.c_str()[values.length() - 1] == ' ') values.Truncate(values.length() - 1);
}

void LayOutLine(Text& line, const Text& head, const Text& prefix, const Text& mnemonic, const Text& operands,
                const Text& values) {
  const bool hasPrefix = !prefix.empty();
  const bool hasOperands = !operands.empty();
  const int32_t A = static_cast<int32_t>(hasPrefix ? prefix.length() : mnemonic.length());
  const int32_t B = static_cast<int32_t>(hasPrefix ? mnemonic.length() + (hasOperands ? 1 + operands.length() : 0)
                                                   : operands.length());
  const int32_t H = static_cast<int32_t>(head.length());
  const int32_t M = static_cast<int32_t>(values.length());
  const int32_t edge = static_cast<int32_t>(kRightEdge);

  int32_t w1 = kMnemonicColumn;
  int32_t w2 = kOperandColumn;
  bool wrap = false;
  if (A + B > static_cast<int32_t>(kSingleLineLimit)) {
    wrap = true;
    w1 = 0;
    w2 = A + 1;
  } else {
    int32_t need = H + 1;
    int32_t right = edge - M - (M > 0 ? 1 : 0) - B;
    int32_t late = right - (B > 0 ? 1 : 0) - A;
    if (late < need) {
      wrap = true;
      need = 0;
      right = edge - B;
      late = right - (B > 0 ? 1 : 0) - A;
    }
    if (need > static_cast<int32_t>(kMnemonicColumn)) {
      w1 = need;
    } else if (late < static_cast<int32_t>(kMnemonicColumn)) {
      w1 = late;
    }
    if (A + w1 + 1 > static_cast<int32_t>(kOperandColumn)) {
      w2 = A + w1 + 1;
    } else if (right < static_cast<int32_t>(kOperandColumn)) {
      w2 = right;
    }
  }

  auto padTo = [&line](uint32_t origin, int32_t column) {
    line.PadTo(origin + static_cast<uint32_t>(column < 0 ? 0 : column));
  };

  line.Append(head.c_str());
  uint32_t origin = 0;
  if (wrap) {
    if (M > 0) {
      padTo(origin, edge - M);
      line.Append(values.c_str());
      line.Append(kContinuation);
    }
    origin = line.length();
  }
  padTo(origin, w1);
  if (hasPrefix) {
    line.Append(prefix.c_str());
    padTo(origin, w2);
    line.Append(mnemonic.c_str());
    if (hasOperands) {
      line.Append(' ');
      line.Append(operands.c_str());
    }
  } else {
    line.Append(mnemonic.c_str());
    if (hasOperands) {
      padTo(origin, w2);
      line.Append(operands.c_str());
    }
  }
  if (!wrap && M > 0) {
    padTo(origin, edge - M);
    line.Append(values.c_str());
  }
}

void WriteFailureLine(Text& line, uint32_t address, const uint8_t* bytes, uint32_t n) {
  AppendHead(line, address, bytes, n);
  line.Append("??");
  line.PadTo(kMnemonicColumn);
  line.Append(kUnknownMnemonic);
}

}  // namespace disasm
