// The stand-in's ANSI code page. The simulated world holds its names (program paths, the
// current directory, host file names) as UTF-8, the true names; the A functions see them
// through the ANSI code page the test chooses (sim::Target::ansiCodePage), as Windows
// shows a program its Unicode names. The default is UTF-8, in which every name passes
// unchanged and no byte leads a double-byte character; 932 gives the Shift-JIS rules of a
// Japanese system. Wide text on the host is UTF-32 (wchar_t), so one wchar_t is one
// character. The stand-in has no best-fit tables: a character the code page lacks becomes
// the default character whether or not WC_NO_BEST_FIT_CHARS is given.
#include <errno.h>
#include <iconv.h>
#include <string.h>

#include <string>

#include "sim/sim.h"

namespace {

UINT Resolve(UINT codePage) { return codePage == CP_ACP ? sim::target().ansiCodePage : codePage; }

const char* IconvName(UINT codePage) {
  switch (codePage) {
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1252: return "CP1252";
    case CP_UTF8: return "UTF-8";
    default: return nullptr;
  }
}

bool IsLeadByte(UINT codePage, BYTE byte) {
  switch (codePage) {
    case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950: return byte >= 0x81 && byte <= 0xFE;
    default: return false;
  }
}

// Converts in at most one character's worth of input at a time. False on an input that
// does not form a character of the source code page (or has none in the target).
bool Convert(iconv_t cd, const char* in, size_t inLength, std::string& out) {
  char buffer[16];
  char* inPointer = const_cast<char*>(in);
  char* outPointer = buffer;
  size_t outLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inPointer, &inLength, &outPointer, &outLeft) == static_cast<size_t>(-1) || inLength != 0) return false;
  out.append(buffer, sizeof buffer - outLeft);
  return true;
}

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

UINT GetACP() { return sim::target().ansiCodePage; }

BOOL IsDBCSLeadByte(BYTE byte) { return IsLeadByte(sim::target().ansiCodePage, byte); }

LPSTR CharNextA(LPCSTR text) {
  if (*text == 0) return const_cast<LPSTR>(text);
  if (IsDBCSLeadByte(static_cast<BYTE>(text[0])) && text[1] != 0) return const_cast<LPSTR>(text + 2);
  return const_cast<LPSTR>(text + 1);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide, int wideLength) {
  codePage = Resolve(codePage);
  const char* name = IconvName(codePage);
  if (name == nullptr || text == nullptr || wideLength < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Converter converter("WCHAR_T", name);
  if (!converter.ok()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const size_t size = length < 0 ? strlen(text) + 1 : static_cast<size_t>(length);
  std::wstring result;
  for (size_t at = 0; at < size;) {
    // One character: a lead byte with its trail byte, or one byte (UTF-8: up to four).
    size_t step = IsLeadByte(codePage, static_cast<BYTE>(text[at])) && at + 1 < size ? 2 : 1;
    std::string out;
    bool converted = false;
    for (size_t tryStep = step; tryStep <= (codePage == CP_UTF8 ? 4u : step) && at + tryStep <= size; ++tryStep) {
      if (Convert(converter.get(), text + at, tryStep, out)) {
        step = tryStep;
        converted = true;
        break;
      }
    }
    if (!converted) {
      if (flags & MB_ERR_INVALID_CHARS) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      result.push_back(L'\xFFFD');
    } else {
      result.append(reinterpret_cast<const wchar_t*>(out.data()), out.size() / sizeof(wchar_t));
    }
    at += step;
  }
  if (wideLength == 0) return static_cast<int>(result.size());
  if (result.size() > static_cast<size_t>(wideLength)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(wide, result.data(), result.size() * sizeof(wchar_t));
  return static_cast<int>(result.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR text, int length,
                        LPCSTR defaultChar, BOOL* usedDefaultChar) {
  codePage = Resolve(codePage);
  // As on Windows: UTF-8 has every character, so it takes neither the best-fit flag nor a
  // default character, and refuses the call when given them.
  if (codePage == CP_UTF8 && (flags & ~static_cast<DWORD>(0x80)) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  if (codePage == CP_UTF8 && (defaultChar != nullptr || usedDefaultChar != nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* name = IconvName(codePage);
  if (name == nullptr || wide == nullptr || length < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Converter converter(name, "WCHAR_T");
  if (!converter.ok()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const size_t size = wideLength < 0 ? wcslen(wide) + 1 : static_cast<size_t>(wideLength);
  const std::string fallback = defaultChar != nullptr ? std::string(defaultChar) : std::string("?");
  if (usedDefaultChar) *usedDefaultChar = FALSE;
  std::string result;
  for (size_t at = 0; at < size; ++at) {
    if (!Convert(converter.get(), reinterpret_cast<const char*>(wide + at), sizeof(wchar_t), result)) {
      result += fallback;
      if (usedDefaultChar) *usedDefaultChar = TRUE;
    }
  }
  if (length == 0) return static_cast<int>(result.size());
  if (result.size() > static_cast<size_t>(length)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(text, result.data(), result.size());
  return static_cast<int>(result.size());
}

namespace sim {

std::wstring WideText(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0],
                                    static_cast<int>(wide.size()));
  wide.resize(static_cast<size_t>(n));
  return wide;
}

std::string Utf8Text(const std::wstring& wide) {
  std::string utf8(wide.size() * 4, '\0');
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0],
                                    static_cast<int>(utf8.size()), nullptr, nullptr);
  utf8.resize(static_cast<size_t>(n));
  return utf8;
}

std::string AnsiText(const std::string& utf8) {
  const std::wstring wide = WideText(utf8);
  std::string ansi(wide.size() * 4, '\0');
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &ansi[0],
                                    static_cast<int>(ansi.size()), nullptr, nullptr);
  ansi.resize(static_cast<size_t>(n));
  return ansi;
}

}  // namespace sim
