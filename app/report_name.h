// The report file name the options page proposes: the current directory, a "\", the
// program's name without its extension, a time stamp to the minute and ".TXT". It is wide
// text throughout, so that a program or folder whose name the ANSI code page cannot hold
// still gives a name that can be created.
#pragma once

#include <string>

#include "session/platform.h"

// "-YYYYMMDD-hhmm" of the given local time.
std::wstring ReportTimeStamp(const SYSTEMTIME& time);

// directory + "\" + (caption up to its last "." + time stamp + ".TXT"). A caption without
// a "." contributes nothing, so the result is the directory and the backslash alone. The
// backslash is appended even when the directory already ends with one.
std::wstring DefaultReportName(const std::wstring& caption, const SYSTEMTIME& time, const std::wstring& directory);

// The process's current directory read into a 260-character buffer. When it does not fit
// (or cannot be read) the result is ".", so the proposed name stays relative to it.
std::wstring ReportDirectory();
