// The rows of the process page: every process that can be opened for querying and memory
// reading and whose program file can be named, in the caption order of lstrcmpA.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct ProcessRow {
  std::string caption;       // the program's file name: its ANSI path after the last "\"; the sort key
  std::string pidText;     // "%d" of the process id
  std::string memoryText;  // "%d KB" of the working set, empty when it cannot be read
  std::wstring programName;  // the file name from the program's wide path: what the list shows,
                             // whole even where the ANSI code page lacks a character of it
  bool is64Bit = false;      // a 64-bit process on 64-bit Windows: listed, but it cannot be dumped
};

// What opening a process by id for querying tells about it.
enum class ProcessKind {
  k32Bit,          // a process this tool can attach to, as far as its bitness goes
  k64Bit,          // a 64-bit process: only 32-bit processes can be dumped
  kNoSuchProcess,  // no process has that id
  kNotOpened,      // it exists but cannot be opened (GetLastError tells why)
};
ProcessKind ProbeProcess(uint32_t processId);

// Ids of all processes. The id array starts with room for 64 and grows by 8 for as long as
// the platform fills it completely. False when EnumProcesses fails.
bool EnumerateProcessIds(std::vector<uint32_t>& ids);

// The row of one process; false when the process gets no row (it cannot be opened with
// query and read access, or its first module cannot be listed or named), with the error of
// the step that failed. A 64-bit process, whose modules a 32-bit process cannot list, gets
// a row marked is64Bit, named from its image. No handle stays open.
bool ReadProcessRow(uint32_t processId, ProcessRow& row);

// Stable ascending order of the captions compared with lstrcmpA.
void SortRowsByCaption(std::vector<ProcessRow>& rows);

// All rows, sorted; 64-bit processes only when with64Bit is set. False when the enumeration
// itself fails; rows is then left as it was.
bool CollectProcessRows(std::vector<ProcessRow>& rows, bool with64Bit = false);

// What the wizard's list shows in a row's first column: the program's name, and for a
// 64-bit process a mark after it, as the companion's --list marks it with its bits.
std::wstring ListedName(const ProcessRow& row);
// The program's name back from a listed name: the 64-bit mark taken off its end.
std::wstring ProgramNameOfListed(const std::wstring& listed);

// Why Next does not go on with a 64-bit process: the program, its id and what can be dumped.
std::wstring SixtyFourBitRefusal(const std::wstring& programName, const std::wstring& pidText);
