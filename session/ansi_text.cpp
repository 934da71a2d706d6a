#include "session/ansi_text.h"

#include "session/platform.h"

const char* LastBackslash(const char* path) {
  const char* last = nullptr;
  for (const char* p = path; *p != '\0'; p = CharNextA(p)) {
    if (*p == '\\') last = p;
  }
  return last;
}

const char* FileNamePart(const char* path) {
  const char* slash = LastBackslash(path);
  return slash != nullptr ? slash + 1 : path;
}

// In UTF-16 the code unit of "\" is never part of another character.
const wchar_t* FileNamePart(const wchar_t* path) {
  const wchar_t* name = path;
  for (const wchar_t* p = path; *p != L'\0'; ++p) {
    if (*p == L'\\') name = p + 1;
  }
  return name;
}

std::wstring WideFromAnsi(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, &wide[0], length);
  return wide;
}

std::string AnsiForDisplay(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  // UTF-8 has every character and takes no such flag.
  const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int length = WideCharToMultiByte(CP_ACP, flags, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string ansi(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, flags, text.data(), size, &ansi[0], length, nullptr, nullptr);
  return ansi;
}
