// The simulated stopped target behind the host stand-in. A test describes the target in a
// few lines (regions, threads, modules, symbols, FPO records, debug events, processes), runs
// the code under test, and then asserts on the calls the code made.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "sim/winapi.h"

namespace sim {

struct Region {
  DWORD base = 0;
  DWORD size = 0;
  DWORD state = MEM_COMMIT;
  DWORD protect = PAGE_READWRITE;            // current protection; decides readability
  DWORD allocationProtect = PAGE_READWRITE;  // what VirtualQueryEx reports as AllocationProtect
  DWORD type = MEM_PRIVATE;
  // The allocation the pages belong to: the base of the region unless a test joins regions
  // into one allocation (as the loader's image or a thread's stack are). VirtualQueryEx
  // reports neighbouring pages of one allocation with equal attributes as one region.
  DWORD allocationBase = 0;
  std::vector<BYTE> bytes;  // contents; shorter than size means zero-filled beyond
};

struct Thread {
  HANDLE handle = nullptr;
  DWORD id = 0;
  CONTEXT context{};
  bool contextReadable = true;
  // Its exit event was continued: the system has closed the handle the creation event gave,
  // so the handle names nothing (or, on Windows, possibly a later object).
  bool exited = false;
  DWORD suspendCount = 0;  // as SuspendThread gives it before its own step
};

// A handle of the target and the object behind it, for DuplicateHandle and the object
// manager's queries.
struct KernelObject {
  DWORD handle = 0;          // the target's handle value
  std::string type;          // the object type's name: "Event", "Mutant", "Thread", ...
  std::string name;          // UTF-8; empty: unnamed
  DWORD threadId = 0;        // of a thread object
  DWORD processId = 0;       // of a process object
  DWORD owner = 0;           // of a mutant: the owning thread, 0 when free
  bool duplicable = true;    // false: DuplicateHandle fails with ERROR_ACCESS_DENIED
  bool ownerQueryable = true;  // false: NtQueryMutant refuses its owner class even on Windows
};

// A window and the thread that made it.
struct Window {
  DWORD handle = 0;
  DWORD threadId = 0;
  DWORD processId = 0;
};

// What answers the queries that only Windows answers: NtQueryMutant's owner class and wait
// chain traversal. Wine has neither (the class is refused, the traversal is a stub).
enum class Platform { kWine, kWindows };

struct Module {
  std::string moduleName;       // IMAGEHLP_MODULE::ModuleName
  std::string imageName;        // IMAGEHLP_MODULE::ImageName
  std::string loadedImageName;  // IMAGEHLP_MODULE::LoadedImageName
  DWORD base = 0;
  DWORD size = 0;
  bool knownToSymbols = true;  // false: SymGetModuleInfo fails for it
};

struct Symbol {
  std::string name;
  DWORD address = 0;
  DWORD size = 0;
  DWORD flags = 0;
};

// An exception that a platform function raises once, on its next call, and handles itself
// when no vectored handler of the tool takes it (as Windows code does with its own faults).
struct RaisedException {
  std::string function;  // "VirtualQueryEx" or "ReadProcessMemory"
  DWORD code = EXCEPTION_ACCESS_VIOLATION;
  DWORD address = 0;  // where it was raised: inside the tool's image or not
};

struct Process {
  DWORD id = 0;
  std::string path;  // UTF-8, like every name of the world; empty: GetModuleFileNameExA/W fail
  SIZE_T workingSet = 0;
  bool openable = true;
  bool modulesListable = true;
  bool memoryInfo = true;
  bool is64Bit = false;  // a 64-bit process: a 32-bit caller cannot list its modules
};

// One MiniDumpWriteDump call as the stand-in saw it.
struct MinidumpCall {
  HANDLE process = nullptr;
  DWORD processId = 0;
  std::string fileName;       // of the file handle; empty when it is no open file
  bool fileWritable = false;  // opened with GENERIC_WRITE
  DWORD type = 0;
  bool withException = false;  // an exception parameter was passed; then:
  DWORD threadId = 0;
  DWORD exceptionCode = 0;
  CONTEXT context{};
  BOOL clientPointers = FALSE;
  bool targetStopped = false;  // still the debuggee, not yet ended
  bool symbolsActive = false;  // the tool's symbol handler not yet shut down
  DWORD writesBefore = 0;      // successful WriteFile calls before it
};

// A registry value of the stand-in's HKEY_LOCAL_MACHINE, kept as its type and bytes.
struct RegistryValue {
  DWORD type = 1;  // REG_SZ
  std::vector<BYTE> bytes;
  bool operator==(const RegistryValue& other) const { return type == other.type && bytes == other.bytes; }
};
// Keys by their path under HKEY_LOCAL_MACHINE ("Software\\Microsoft\\..."), each with its
// values by name. Paths and names are matched without regard to case, as the registry does.
using RegistryKeys = std::map<std::wstring, std::map<std::wstring, RegistryValue>>;

struct Target {
  DWORD processId = 1234;
  HANDLE processHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7c));
  std::string mainModulePath = "C:\\app\\prog.exe";
  std::vector<Region> regions;  // kept sorted by base
  std::vector<Thread> threads;
  std::vector<Module> modules;
  std::vector<Symbol> symbols;
  std::vector<FPO_DATA> fpo;
  // From this many frames walked on, StackWalk gives the same frame again and again, as
  // Wine's walker can where its unwinding makes no progress; 0: never.
  DWORD stackWalkStuckAfter = 0;
  std::vector<DEBUG_EVENT> events;  // delivered in order by WaitForDebugEvent
  std::vector<Process> processes;   // what EnumProcesses lists
  std::map<std::string, std::string> environment;
  SYSTEMTIME localTime{2001, 10, 2, 9, 14, 5, 7, 123};
  DWORD maximumApplicationAddress = 0x7FFEFFFF;
  bool attachAllowed = true;
  DWORD attachError = ERROR_ACCESS_DENIED;
  bool symbolsActive = false;  // between SymInitialize and SymCleanup
  bool terminated = false;
  bool debuggerAttached = false;  // between a successful DebugActiveProcess and DebugActiveProcessStop
  bool killOnExit = true;         // as DebugSetProcessKillOnExit last set it
  bool detachAllowed = true;      // false: DebugActiveProcessStop fails with ERROR_ACCESS_DENIED
  bool killOnExitFails = false;   // DebugSetProcessKillOnExit fails with ERROR_ACCESS_DENIED
  bool continueFails = false;     // ContinueDebugEvent fails with ERROR_INVALID_HANDLE
  // The one handle SetEvent takes; any other fails with ERROR_INVALID_HANDLE.
  HANDLE eventHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x5e0));
  DWORD launchError = 0;          // nonzero: CreateProcessW fails with it
  std::wstring launchedCommandLine;  // as CreateProcessW received it
  DWORD failWritesAfter = 0xFFFFFFFF;  // WriteFile fails after this many successful writes
  // Room left on the disk: a write stores what fits, then fails with ERROR_DISK_FULL.
  uint64_t diskBytesLeft = ~0ull;
  bool shortWritesWhenFull = false;  // instead the write that fills the disk succeeds short
  std::vector<RaisedException> raises;
  DWORD ownImageBase = 0x00400000;  // the tool's own image, for GetModuleHandleExA
  DWORD ownImageSize = 0x00080000;
  std::string currentDirectory = "C:\\Work";
  DWORD queryFailsFrom = 0xFFFFFFFF;  // VirtualQueryEx fails at and above this address
  DWORD queryError = ERROR_INVALID_PARAMETER;  // with this error
  SIZE_T ownAllocationLimit = ~static_cast<SIZE_T>(0);  // VirtualAlloc of more than this fails
  bool tokenOpenFails = false;
  DWORD adjustReturnLength = 0;  // nonzero: AdjustTokenPrivileges wants a previous-state buffer this large
  std::string symbolSearchPath;  // as SymInitialize received it
  bool symbolsInvaded = false;
  DWORD symbolOptions = 0x2;          // SYMOPT_UNDNAME, the handler's default
  DWORD symbolOptionsAtStart = 0;     // as SymInitialize found them
  DWORD currentProcessId = 4242;
  bool moduleQueriesByOrderFail = false;  // like Wine's dbghelp: SymGetModuleInfo(0 / 0xFFFFFFFF) fails
  bool wow64 = false;              // the tool runs as a 32-bit process on 64-bit Windows
  bool deleteFails = false;        // DeleteFileW of an existing file fails with ERROR_ACCESS_DENIED (in use)
  uint32_t guardsRestored = 0;     // VirtualProtectEx calls that set PAGE_GUARD
  DWORD minidumpError = 0;  // nonzero: MiniDumpWriteDump fails with this HRESULT after writing its header
  HANDLE stackWalkProcess = nullptr;  // the process handle StackWalk received last
  std::vector<KernelObject> objects;
  std::vector<Window> windows;
  // The objects DuplicateHandle gave the tool, in order: handle 0x9000 + 4 * index.
  std::vector<KernelObject> duplicates;
  Platform platform = Platform::kWine;
  // Wait chain traversal's answers on Windows, by waiting thread: the owner thread's id.
  std::map<DWORD, DWORD> waitChainOwners;
  UINT ansiCodePage = CP_UTF8;  // how the A functions see the world's UTF-8 names; 932 on a Japanese system
  RegistryKeys registry;
  // The registry call that changes something (RegCreateKeyExW, RegSetValueExW,
  // RegDeleteValueW, RegDeleteKeyW), counted from 1, that fails with ERROR_ACCESS_DENIED;
  // 0: none does.
  DWORD registryDeniedChange = 0;
  DWORD registryChanges = 0;      // the changing calls made so far, the refused one included
  int openRegistryKeys = 0;       // opened or created and not yet closed
  bool registryView32 = true;     // false once a call opened a key without KEY_WOW64_32KEY
};

// The one simulated world. Reset() gives an empty target and zero counts.
Target& target();
void Reset();

// Helpers for tests.
Region& AddRegion(DWORD base, DWORD size, DWORD protect = PAGE_READWRITE, DWORD type = MEM_PRIVATE,
                  DWORD state = MEM_COMMIT);
void Fill(DWORD address, const std::vector<BYTE>& bytes);  // writes into existing regions
Thread& AddThread(DWORD id, DWORD eip = 0, DWORD esp = 0, DWORD ebp = 0);
Module& AddModule(const std::string& path, DWORD base, DWORD size);
void AddSymbol(const std::string& name, DWORD address, DWORD size, DWORD flags = 0);
// Queues the events attaching produces: process creation (with the first thread and the
// first module), one thread creation per further thread, one module load per further module,
// then the breakpoint.
void ScriptAttachEvents();

// A string registry value as the system writes one: UTF-16 with its terminating zero.
RegistryValue StringValue(const std::wstring& text);
RegistryValue DwordValue(DWORD value);

// A UTF-8 name of the world as wide text, back, and as the A functions give it.
std::wstring WideText(const std::string& utf8);
std::string Utf8Text(const std::wstring& wide);
std::string AnsiText(const std::string& utf8);

// The protection of every committed page of the target, page address to Protect: for
// comparing the target before and after a dump, whatever the regions' split.
std::map<DWORD, DWORD> PageProtections();

// Counts of platform calls by function name ("ReadProcessMemory", ...).
int Calls(const std::string& function);
// The ReadProcessMemory requests in order, {address, size}: the first 2^20 of them.
const std::vector<std::pair<DWORD, DWORD>>& Reads();
// The handles CloseHandle was given, in order, whatever they were.
const std::vector<HANDLE>& ClosedHandles();
// The image file handle ScriptAttachEvents gives the event of module i (the main module 0).
HANDLE ImageFileHandle(size_t module);
// Exceptions the platform functions have raised so far.
int RaisedCount();
// Status values passed to ContinueDebugEvent, in order.
const std::vector<DWORD>& Continues();
// The calls that attach, continue, detach or end the target, in order, with their
// argument where it matters: "DebugActiveProcess", "DebugSetProcessKillOnExit(0)",
// "ContinueDebugEvent(0x10002)", "DebugActiveProcessStop", "TerminateProcess",
// "MiniDumpWriteDump", "SetEvent", "CreateProcessW".
const std::vector<std::string>& DebugControlCalls();
// The MiniDumpWriteDump calls in order (each also stands in DebugControlCalls as
// "MiniDumpWriteDump").
const std::vector<MinidumpCall>& MinidumpCalls();

}  // namespace sim
