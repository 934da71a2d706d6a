// The code around an address and the stack back trace of a thread.
#pragma once

#include <stdint.h>

#include "session/log_file.h"

// The function that holds address and the instructions around it.
void WriteCodeListing(CLogFile& session, const CThreadContext& thread, uint32_t address);
void WriteBackTrace(CLogFile& session, const CThreadContext& thread);

// The work one code listing took: lengths decoded to find the start, lines disassembled.
struct CodeListingWork {
  uint32_t lengthDecodes = 0;
  uint32_t lineDecodes = 0;
};
void WriteCodeListing(CLogFile& session, const CThreadContext& thread, uint32_t address, CodeListingWork* work);

// The walker's callbacks. The walker is handed the session where it expects the process
// handle, and passes it back to each of them.
BOOL WINAPI StackReadMemory(HANDLE session, DWORD address, PVOID buffer, DWORD size, PDWORD bytesRead);
PVOID WINAPI StackFunctionTable(HANDLE session, DWORD address);
DWORD WINAPI StackModuleBase(HANDLE session, DWORD address);
DWORD WINAPI StackTranslateAddress(HANDLE session, HANDLE thread, LPADDRESS address);
