// The companion's view of the wizard's process list: finding a process by its caption, and
// the list as text for scripts.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "app/process_list.h"

// Upper-case letters of the Latin (ASCII, Latin-1, full-width), Greek and Cyrillic alphabets
// folded to lower case, as program names compare on Windows; every other character as is.
wchar_t FoldNameCase(wchar_t c);

// The ids of the rows whose program name equals name, case ignored, in list order. A row
// without its wide program name is matched by its caption, a text of the ANSI code page that
// widen turns into wide text.
std::vector<uint32_t> MatchProcessName(const std::wstring& name, const std::vector<ProcessRow>& rows,
                                       std::wstring (*widen)(const std::string&));

// A header line, then one line per row in the rows' order: caption, process id, working set
// in KiB (empty when unknown) and the process's bitness (32 or 64), separated by a tab
// (captions may hold blanks), each line ended by "\n".
extern const char kProcessListHeader[];
std::string ProcessListText(const std::vector<ProcessRow>& rows);

// "36, 52, 60": the ids for a line that names them.
std::string IdList(const std::vector<uint32_t>& ids);
