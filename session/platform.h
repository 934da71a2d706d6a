// The Win32 names the tool uses. A Windows build takes the platform's own headers; the host
// build takes the stand-in in sim/, which declares exactly the same subset with the same
// field names, so session/, report/ and disasm/ compile unchanged against either.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#include <dbghelp.h>
#else
#include "sim/winapi.h"
#endif

#include <stdint.h>

// Target addresses are 32-bit values; the platform calls take pointers.
inline void* TargetPointer(uint32_t address) { return reinterpret_cast<void*>(static_cast<uintptr_t>(address)); }
inline uint32_t TargetAddress(const void* pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); }

#ifdef _WIN32
// The layouts the report relies on (i386).
static_assert(sizeof(CONTEXT) == 716, "i386 CONTEXT");
static_assert(sizeof(IMAGEHLP_SYMBOL) == 24, "IMAGEHLP_SYMBOL");
static_assert(sizeof(IMAGEHLP_MODULE) == 572, "IMAGEHLP_MODULE");
static_assert(sizeof(MEMORY_BASIC_INFORMATION) == 28, "MEMORY_BASIC_INFORMATION");
static_assert(sizeof(FPO_DATA) == 16, "FPO_DATA");
#endif
