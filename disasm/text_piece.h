// A bounded text: appends stop at the capacity (which counts the terminating NUL), so no
// piece is ever written past its end; the text stays NUL-terminated.
#pragma once

#include <stdint.h>

namespace disasm {

class Text {
 public:
  Text(char* storage, uint32_t capacity) : buffer(storage), room(capacity), used(0) {
    if (room > 0) buffer[0] = 0;
  }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;

  void Append(char c) {
    if (used + 1 < room) {
      buffer[used++] = c;
      buffer[used] = 0;
    }
  }
  // Two characters with one terminator: the hex digits of a byte.
  void AppendPair(char first, char second) {
    if (used + 2 < room) {
      buffer[used] = first;
      buffer[used + 1] = second;
      used += 2;
      buffer[used] = 0;
    } else {
      Append(first);
      Append(second);
    }
  }
  void Append(const char* text) {
    while (*text != 0 && used + 1 < room) buffer[used++] = *text++;
    if (room > 0) buffer[used] = 0;
  }
  void Append(const char* text, uint32_t count) {
    for (uint32_t i = 0; i < count && text[i] != 0 && used + 1 < room; ++i) buffer[used++] = text[i];
    if (room > 0) buffer[used] = 0;
  }
  // Blanks until the text is `column` long, but at least one.
  void PadTo(uint32_t column) {
    Append(' ');
    while (used < column && used + 1 < room) buffer[used++] = ' ';
    if (room > 0) buffer[used] = 0;
  }
  void Clear() {
    used = 0;
    if (room > 0) buffer[0] = 0;
  }
  // Cuts the text to `length` characters when it is longer.
  void Truncate(uint32_t length) {
    if (length < used) {
      used = length;
      buffer[used] = 0;
    }
  }
  // Puts c at position (within the text or just past it) and ends the text after it.
  void PutAndEnd(uint32_t position, char c) {
    if (position > used || position + 1 >= room) return;
    buffer[position] = c;
    used = position + 1;
    buffer[used] = 0;
  }

  // Takes count characters out from position on (as far as the text reaches).
  void Erase(uint32_t position, uint32_t count) {
    if (position >= used) return;
    if (count > used - position) count = used - position;
    for (uint32_t i = position; i + count <= used; ++i) buffer[i] = buffer[i + count];
    used -= count;
  }

  // Replaces the character at position when the text reaches that far.
  void Set(uint32_t position, char c) {
    if (position < used) buffer[position] = c;
  }

  const char* c_str() const { return buffer; }
  uint32_t length() const { return used; }
  uint32_t capacity() const { return room; }
  bool empty() const { return used == 0; }

 private:
  char* buffer;
  uint32_t room;
  uint32_t used;
};

// A text with its own storage of Capacity characters (the NUL included).
template <uint32_t Capacity>
class TextPiece : public Text {
 public:
  TextPiece() : Text(storage, Capacity) {}

 private:
  char storage[Capacity];
};

}  // namespace disasm
