// The report file name the options page proposes and the companion uses by default: the
// current directory, a "\", the program's name without its extension, a time stamp to the
// second, the process id and ".TXT". Two dumps get the same name only for the same process
// within one second, and then the later one is numbered, so a default name never replaces a
// report. It is wide text throughout, so that a program or folder whose name the ANSI code
// page cannot hold still gives a name that can be created.
#pragma once

#include <stdint.h>

#include <string>

#include "session/platform.h"

// "-YYYYMMDD-hhmmss" of the given local time.
std::wstring ReportTimeStamp(const SYSTEMTIME& time);

// directory + "\" + (caption up to its last "." + time stamp + "-" + process id + ".TXT").
// A caption without a "." contributes nothing, so the result is the directory and the
// backslash alone. The backslash is appended even when the directory already ends with one.
std::wstring DefaultReportName(const std::wstring& caption, uint32_t processId, const SYSTEMTIME& time,
                               const std::wstring& directory);

// The name itself when exists says no file has it; otherwise the first of name with "-2",
// "-3", ... before the extension of its file name that none has. Empty when 99 are taken.
std::wstring FreeReportName(const std::wstring& name, bool (*exists)(const std::wstring& name));

// The process's current directory read into a 260-character buffer. When it does not fit
// (or cannot be read) the result is ".", so the proposed name stays relative to it.
std::wstring ReportDirectory();
