// Text in the ANSI code page of the system: paths split character by character, and the
// conversions to and from wide text. On a Japanese system (code page 932) the byte 0x5C
// of "\" is also the second byte of many characters (ソ is 83 5C, 表 is 95 5C), so a path
// is never split by looking for that byte alone.
#pragma once

#include <string>

// The last "\" of path that is a character of its own, or null when there is none.
const char* LastBackslash(const char* path);

// The file name of a path: the text after its last "\", or the whole path without one.
const char* FileNamePart(const char* path);
const wchar_t* FileNamePart(const wchar_t* path);

// ANSI text as wide text, as the platform's A functions convert it.
std::wstring WideFromAnsi(const std::string& text);

// Wide text for a line of 8-bit text: a character the code page lacks shows as "?", never
// as a look-alike, so a line cannot name a different file than the one meant.
std::string AnsiForDisplay(const std::wstring& text);
