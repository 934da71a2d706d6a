// The host stand-in's Win32 functions, acting on the one simulated target.
#include "sim/sim.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <glob.h>
#include <unistd.h>
#include <wchar.h>

#include <algorithm>
#include <thread>

namespace sim {
namespace {

struct World {
  Target target;
  std::map<std::string, int> calls;
  std::vector<std::pair<DWORD, DWORD>> reads;
  std::vector<DWORD> continues;
  std::vector<std::string> debugControl;
  std::vector<HANDLE> closed;
  size_t nextEvent = 0;
  DWORD exitingThread = 0;  // of the exit-thread event delivered last, until it is continued
  bool threadExiting = false;
  size_t nextModuleQuery = 0;  // for SymGetModuleInfo(0xFFFFFFFF)
  std::map<HANDLE, FILE*> files;
  std::map<HANDLE, std::string> fileNames;
  std::map<HANDLE, DWORD> fileAccess;
  std::vector<MinidumpCall> minidumps;
  uintptr_t nextFileHandle = 0x5000;
  DWORD writes = 0;
  std::vector<PVECTORED_EXCEPTION_HANDLER> handlers;  // first in, first asked
  int raised = 0;
};

World& world() {
  static World instance;
  return instance;
}

thread_local DWORD lastError = 0;

void Count(const char* function) { ++world().calls[function]; }

const size_t kMaxLoggedReads = 1u << 20;
const uintptr_t kOpenedProcessBase = 0x100000;  // OpenProcess handles carry the pid above this
const uintptr_t kThreadHandleBase = 0x1000;
const HANDLE kTokenHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x44));
const HANDLE kThreadObjectHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x48));

// A committed page whose only bar to reading is its guard: touching it clears the guard.
bool Guarded(const Region& region) {
  DWORD base = region.protect & 0xFF;
  return region.state == MEM_COMMIT && (region.protect & PAGE_GUARD) && base != 0 && base != PAGE_NOACCESS;
}

// Windows clears the guard of the one page touched; the region splits around that page.
void ClearGuard(DWORD address) {
  auto& regions = world().target.regions;
  for (size_t i = 0; i < regions.size(); ++i) {
    Region& region = regions[i];
    if (address - region.base >= region.size) continue;
    DWORD pageStart = std::max(region.base, address & ~0xFFFu);
    DWORD pageEnd = static_cast<DWORD>(std::min<uint64_t>(static_cast<uint64_t>(region.base) + region.size,
                                                          (static_cast<uint64_t>(address) & ~0xFFFull) + 0x1000));
    Region below = region, page = region, above = region;
    below.size = pageStart - region.base;
    page.base = pageStart;
    page.size = pageEnd - pageStart;
    page.protect &= ~static_cast<DWORD>(PAGE_GUARD);
    above.base = pageEnd;
    above.size = region.base + region.size - pageEnd;
    auto tail = [](const Region& whole, const Region& part) {
      DWORD offset = part.base - whole.base;
      std::vector<BYTE> bytes;
      if (offset < whole.bytes.size()) {
        bytes.assign(whole.bytes.begin() + offset,
                     whole.bytes.begin() + std::min<size_t>(whole.bytes.size(), offset + part.size));
      }
      return bytes;
    };
    page.bytes = tail(region, page);
    above.bytes = tail(region, above);
    below.bytes.resize(std::min<size_t>(below.bytes.size(), below.size));
    std::vector<Region> parts;
    if (below.size) parts.push_back(below);
    parts.push_back(page);
    if (above.size) parts.push_back(above);
    regions.erase(regions.begin() + static_cast<long>(i));
    regions.insert(regions.begin() + static_cast<long>(i), parts.begin(), parts.end());
    return;
  }
}

// Splits the region that holds address so that a region begins there.
void SplitAt(DWORD address) {
  auto& regions = world().target.regions;
  for (size_t i = 0; i < regions.size(); ++i) {
    Region& region = regions[i];
    if (address - region.base >= region.size || address == region.base) continue;
    Region above = region;
    const DWORD offset = address - region.base;
    above.base = address;
    above.size = region.size - offset;
    above.bytes.clear();
    if (offset < region.bytes.size()) above.bytes.assign(region.bytes.begin() + offset, region.bytes.end());
    region.size = offset;
    region.bytes.resize(std::min<size_t>(region.bytes.size(), offset));
    regions.insert(regions.begin() + static_cast<long>(i) + 1, above);
    return;
  }
}

// Neighbours with the same attributes are one region again, as VirtualQueryEx reports them.
void MergeAlike() {
  auto& regions = world().target.regions;
  for (size_t i = 1; i < regions.size();) {
    Region& low = regions[i - 1];
    const Region& high = regions[i];
    if (low.base + low.size == high.base && low.state == high.state && low.protect == high.protect &&
        low.allocationProtect == high.allocationProtect && low.type == high.type) {
      if (!high.bytes.empty()) {
        low.bytes.resize(low.size, 0);
        low.bytes.insert(low.bytes.end(), high.bytes.begin(), high.bytes.end());
      }
      low.size += high.size;
      regions.erase(regions.begin() + static_cast<long>(i));
    } else {
      ++i;
    }
  }
}

// Asks the tool's vectored handlers about an exception the named function raises now; when
// none takes it, the function's own handler does and the call goes on.
void RaiseIfScripted(const char* function) {
  auto& raises = world().target.raises;
  for (size_t i = 0; i < raises.size(); ++i) {
    if (raises[i].function != function) continue;
    EXCEPTION_RECORD record{};
    record.ExceptionCode = raises[i].code;
    record.ExceptionAddress = reinterpret_cast<PVOID>(static_cast<uintptr_t>(raises[i].address));
    raises.erase(raises.begin() + static_cast<long>(i));
    ++world().raised;
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    // By index and without copies: a handler may leave by longjmp, past this frame.
    for (size_t h = 0; h < world().handlers.size(); ++h) {
      if (world().handlers[h](&pointers) == EXCEPTION_CONTINUE_EXECUTION) return;
    }
    return;
  }
}

bool Readable(const Region& region) {
  if (region.state != MEM_COMMIT) return false;
  if (region.protect & PAGE_GUARD) return false;
  DWORD base = region.protect & 0xFF;
  return base != 0 && base != PAGE_NOACCESS;
}

const Region* RegionAt(DWORD address) {
  for (const Region& region : world().target.regions) {
    if (address - region.base < region.size) return &region;
  }
  return nullptr;
}

const Module* ModuleAt(DWORD address) {
  for (const Module& module : world().target.modules) {
    if (address - module.base < module.size) return &module;
  }
  return nullptr;
}

void CopyText(char* destination, size_t capacity, const std::string& text) {
  size_t n = std::min(capacity - 1, text.size());
  memcpy(destination, text.data(), n);
  destination[n] = 0;
}

void FillModuleInfo(const Module& module, PIMAGEHLP_MODULE info) {
  info->BaseOfImage = module.base;
  info->ImageSize = module.size;
  info->TimeDateStamp = 0;
  info->CheckSum = 0;
  info->NumSyms = 0;
  info->SymType = SymDeferred;
  CopyText(info->ModuleName, sizeof info->ModuleName, module.moduleName);
  CopyText(info->ImageName, sizeof info->ImageName, module.imageName);
  CopyText(info->LoadedImageName, sizeof info->LoadedImageName, module.loadedImageName);
}

std::vector<const Module*> KnownModules() {
  std::vector<const Module*> known;
  for (const Module& module : world().target.modules) {
    if (module.knownToSymbols) known.push_back(&module);
  }
  return known;
}

DWORD ProcessIdOfHandle(HANDLE process) {
  uintptr_t value = reinterpret_cast<uintptr_t>(process);
  if (process == world().target.processHandle) return world().target.processId;
  if (value >= kOpenedProcessBase) return static_cast<DWORD>(value - kOpenedProcessBase);
  return 0;
}

const Process* ListedProcess(DWORD id) {
  for (const Process& process : world().target.processes) {
    if (process.id == id) return &process;
  }
  return nullptr;
}

}  // namespace

Target& target() { return world().target; }

std::map<DWORD, DWORD> PageProtections() {
  std::map<DWORD, DWORD> pages;
  for (const Region& region : world().target.regions) {
    if (region.state != MEM_COMMIT) continue;
    for (uint64_t at = region.base; at < static_cast<uint64_t>(region.base) + region.size; at += 0x1000) {
      pages[static_cast<DWORD>(at)] = region.protect;
    }
  }
  return pages;
}

void Reset() {
  sim::World& w = world();
  for (auto& file : w.files) fclose(file.second);
  w = World();
}

Region& AddRegion(DWORD base, DWORD size, DWORD protect, DWORD type, DWORD state) {
  Region region;
  region.base = base;
  region.size = size;
  region.protect = protect;
  region.allocationProtect = protect;
  region.allocationBase = base;
  region.type = type;
  region.state = state;
  auto& regions = world().target.regions;
  auto at = std::upper_bound(regions.begin(), regions.end(), base,
                             [](DWORD value, const Region& r) { return value < r.base; });
  return *regions.insert(at, region);
}

void Fill(DWORD address, const std::vector<BYTE>& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    DWORD at = address + static_cast<DWORD>(i);
    for (Region& region : world().target.regions) {
      DWORD offset = at - region.base;
      if (offset < region.size) {
        if (region.bytes.size() <= offset) region.bytes.resize(offset + 1);
        region.bytes[offset] = bytes[i];
        break;
      }
    }
  }
}

Thread& AddThread(DWORD id, DWORD eip, DWORD esp, DWORD ebp) {
  auto& threads = world().target.threads;
  Thread thread;
  thread.handle = reinterpret_cast<HANDLE>(kThreadHandleBase + threads.size() * 4);
  thread.id = id;
  thread.context.Eip = eip;
  thread.context.Esp = esp;
  thread.context.Ebp = ebp;
  thread.context.SegCs = 0x1b;
  thread.context.SegSs = 0x23;
  thread.context.SegDs = 0x23;
  thread.context.SegEs = 0x23;
  thread.context.SegFs = 0x3b;
  thread.context.EFlags = 0x246;
  threads.push_back(thread);
  return threads.back();
}

Module& AddModule(const std::string& path, DWORD base, DWORD size) {
  Module module;
  size_t slash = path.find_last_of('\\');
  std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = file.find_last_of('.');
  module.moduleName = dot == std::string::npos ? file : file.substr(0, dot);
  module.imageName = path;
  module.loadedImageName = path;
  module.base = base;
  module.size = size;
  world().target.modules.push_back(module);
  return world().target.modules.back();
}

void AddSymbol(const std::string& name, DWORD address, DWORD size, DWORD flags) {
  auto& symbols = world().target.symbols;
  Symbol symbol{name, address, size, flags};
  auto at = std::upper_bound(symbols.begin(), symbols.end(), address,
                             [](DWORD value, const Symbol& s) { return value < s.address; });
  symbols.insert(at, symbol);
}

HANDLE ImageFileHandle(size_t module) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x2000 + module * 4)); }

void ScriptAttachEvents() {
  Target& t = world().target;
  t.events.clear();
  auto fileHandle = ImageFileHandle;
  DEBUG_EVENT create{};
  create.dwDebugEventCode = CREATE_PROCESS_DEBUG_EVENT;
  create.dwProcessId = t.processId;
  create.dwThreadId = t.threads.empty() ? 0 : t.threads[0].id;
  create.u.CreateProcessInfo.hProcess = t.processHandle;
  create.u.CreateProcessInfo.hThread = t.threads.empty() ? nullptr : t.threads[0].handle;
  create.u.CreateProcessInfo.hFile = fileHandle(0);
  create.u.CreateProcessInfo.lpBaseOfImage = t.modules.empty() ? nullptr : reinterpret_cast<LPVOID>(static_cast<uintptr_t>(t.modules[0].base));
  t.events.push_back(create);
  for (size_t i = 1; i < t.threads.size(); ++i) {
    DEBUG_EVENT thread{};
    thread.dwDebugEventCode = CREATE_THREAD_DEBUG_EVENT;
    thread.dwProcessId = t.processId;
    thread.dwThreadId = t.threads[i].id;
    thread.u.CreateThread.hThread = t.threads[i].handle;
    t.events.push_back(thread);
  }
  for (size_t i = 1; i < t.modules.size(); ++i) {
    DEBUG_EVENT load{};
    load.dwDebugEventCode = LOAD_DLL_DEBUG_EVENT;
    load.dwProcessId = t.processId;
    load.dwThreadId = create.dwThreadId;
    load.u.LoadDll.hFile = fileHandle(i);
    load.u.LoadDll.lpBaseOfDll = reinterpret_cast<LPVOID>(static_cast<uintptr_t>(t.modules[i].base));
    t.events.push_back(load);
  }
  DEBUG_EVENT breakpoint{};
  breakpoint.dwDebugEventCode = EXCEPTION_DEBUG_EVENT;
  breakpoint.dwProcessId = t.processId;
  breakpoint.dwThreadId = t.threads.empty() ? 0 : t.threads.back().id;
  breakpoint.u.Exception.ExceptionRecord.ExceptionCode = EXCEPTION_BREAKPOINT;
  breakpoint.u.Exception.dwFirstChance = 1;
  t.events.push_back(breakpoint);
}

int Calls(const std::string& function) {
  auto it = world().calls.find(function);
  return it == world().calls.end() ? 0 : it->second;
}

const std::vector<std::pair<DWORD, DWORD>>& Reads() { return world().reads; }
const std::vector<DWORD>& Continues() { return world().continues; }
const std::vector<HANDLE>& ClosedHandles() { return world().closed; }
int RaisedCount() { return world().raised; }
const std::vector<std::string>& DebugControlCalls() { return world().debugControl; }
const std::vector<MinidumpCall>& MinidumpCalls() { return world().minidumps; }

}  // namespace sim

using sim::Count;
using sim::world;
using sim::World;

DWORD GetLastError() { return sim::lastError; }
void SetLastError(DWORD error) { sim::lastError = error; }

// Kernel basics: report files are real files on the host, named by their UTF-8 names.
namespace sim {
namespace {

HANDLE OpenHostFile(const std::string& name, DWORD access, DWORD disposition) {
  if (name.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  FILE* file = fopen(name.c_str(), disposition == CREATE_NEW ? "wbx" : "wb");
  if (file == nullptr) {
    SetLastError(errno == EEXIST         ? ERROR_FILE_EXISTS
                 : errno == ENOENT       ? ERROR_PATH_NOT_FOUND
                 : errno == ENAMETOOLONG ? ERROR_INVALID_NAME
                                         : ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = reinterpret_cast<HANDLE>(world().nextFileHandle);
  world().nextFileHandle += 4;
  world().files[handle] = file;
  world().fileNames[handle] = name;
  world().fileAccess[handle] = access;
  return handle;
}

// What an A function copies out: the name in the ANSI code page, cut to the buffer.
DWORD CopyAnsiName(const std::string& utf8, LPSTR buffer, DWORD size) {
  CopyText(buffer, size, AnsiText(utf8));
  return static_cast<DWORD>(strlen(buffer));
}

DWORD CopyWideName(const std::string& utf8, LPWSTR buffer, DWORD size) {
  const std::wstring wide = WideText(utf8);
  const size_t n = std::min<size_t>(size - 1, wide.size());
  wide.copy(buffer, n);
  buffer[n] = 0;
  return static_cast<DWORD>(n);
}

}  // namespace
}  // namespace sim

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, void*, DWORD disposition, DWORD, HANDLE) {
  Count("CreateFileA");
  if (name == nullptr) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // As on Windows: the name goes through the ANSI code page to its wide form.
  const int length = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, name, -1, &wide[0], length);
  wide.resize(wcslen(wide.c_str()));
  return sim::OpenHostFile(sim::Utf8Text(wide), access, disposition);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, void*, DWORD disposition, DWORD, HANDLE) {
  Count("CreateFileW");
  if (name == nullptr) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return sim::OpenHostFile(sim::Utf8Text(name), access, disposition);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, void*) {
  Count("WriteFile");
  if (written) *written = 0;
  auto it = world().files.find(file);
  if (it == world().files.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (world().writes >= world().target.failWritesAfter) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  ++world().writes;
  uint64_t& room = world().target.diskBytesLeft;
  DWORD fits = static_cast<DWORD>(std::min<uint64_t>(count, room));
  size_t n = fits ? fwrite(buffer, 1, fits, it->second) : 0;
  room -= n;
  if (written) *written = static_cast<DWORD>(n);
  if (fits < count && (n == 0 || !world().target.shortWritesWhenFull)) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  if (fits < count) return TRUE;
  return n == count;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  Count("SetFilePointer");
  auto it = world().files.find(file);
  if (it == world().files.end() || method != FILE_BEGIN) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  uint64_t high = distanceHigh ? static_cast<uint32_t>(*distanceHigh) : (distance < 0 ? ~0u : 0u);
  uint64_t position = (high << 32) | static_cast<uint32_t>(distance);
  if (fseeko(it->second, static_cast<off_t>(position), SEEK_SET) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(position >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(position);
}

BOOL SetEndOfFile(HANDLE file) {
  Count("SetEndOfFile");
  auto it = world().files.find(file);
  if (it == world().files.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  fflush(it->second);
  if (ftruncate(fileno(it->second), ftello(it->second)) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}

// A host path ("/tmp/...") or a drive path is whole; any other name is relative to the
// simulated current directory.
DWORD GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR* filePart) {
  Count("GetFullPathNameW");
  std::wstring full = name != nullptr ? name : L"";
  if (full.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  const bool whole = full[0] == L'/' || full[0] == L'\\' || (full.size() >= 2 && full[1] == L':');
  if (!whole) full = sim::WideText(world().target.currentDirectory) + L"\\" + full;
  if (full.size() + 1 > size) return static_cast<DWORD>(full.size() + 1);
  full.copy(buffer, full.size());
  buffer[full.size()] = 0;
  if (filePart != nullptr) *filePart = buffer + full.find_last_of(L"\\/") + 1;
  return static_cast<DWORD>(full.size());
}

// Directory searches over the host's files, by glob patterns ("?" and "*" as on Windows).
namespace sim {
namespace {

struct Search {
  glob_t found{};
  size_t next = 0;
};

bool NextFound(Search& search, LPWIN32_FIND_DATAW data) {
  if (search.next >= search.found.gl_pathc) return false;
  std::string path = search.found.gl_pathv[search.next++];
  const std::wstring name = WideText(path.substr(path.find_last_of('/') + 1));
  memset(data, 0, sizeof *data);
  const size_t n = std::min<size_t>(name.size(), MAX_PATH - 1);
  name.copy(data->cFileName, n);
  data->cFileName[n] = 0;
  data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
  return true;
}

}  // namespace
}  // namespace sim

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  Count("FindFirstFileW");
  sim::Search* search = new sim::Search;
  if (pattern == nullptr || glob(sim::Utf8Text(pattern).c_str(), 0, nullptr, &search->found) != 0 ||
      !sim::NextFound(*search, data)) {
    globfree(&search->found);
    delete search;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return static_cast<HANDLE>(search);
}

BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data) {
  Count("FindNextFileW");
  if (!sim::NextFound(*static_cast<sim::Search*>(find), data)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  Count("FindClose");
  sim::Search* search = static_cast<sim::Search*>(find);
  globfree(&search->found);
  delete search;
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR name) {
  Count("DeleteFileW");
  const std::string path = sim::Utf8Text(name ? name : L"");
  // A file that is not there is not found, whatever would keep an existing one.
  if (world().target.deleteFails && !path.empty() && access(path.c_str(), F_OK) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  // An open file cannot be deleted: the tool's own handles are opened without FILE_SHARE_DELETE.
  for (const auto& open : world().fileNames) {
    if (open.second == path) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return FALSE;
    }
  }
  if (path.empty() || unlink(path.c_str()) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}

DWORD GetCurrentThreadId() { return 0x999; }

PVOID AddVectoredExceptionHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
  auto& handlers = world().handlers;
  handlers.insert(first ? handlers.begin() : handlers.end(), handler);
  return reinterpret_cast<PVOID>(handler);
}

ULONG RemoveVectoredExceptionHandler(PVOID handle) {
  auto& handlers = world().handlers;
  for (auto it = handlers.begin(); it != handlers.end(); ++it) {
    if (reinterpret_cast<PVOID>(*it) == handle) {
      handlers.erase(it);
      return 1;
    }
  }
  return 0;
}

HMODULE GetModuleHandleA(LPCSTR name) {
  if (name != nullptr) return nullptr;
  return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(world().target.ownImageBase));
}

// Only the tool's own image is a module of the simulated tool process.
BOOL GetModuleHandleExA(DWORD flags, LPCSTR name, HMODULE* module) {
  *module = nullptr;
  const sim::Target& t = world().target;
  DWORD address = static_cast<DWORD>(reinterpret_cast<uintptr_t>(name));
  if (!(flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) || address - t.ownImageBase >= t.ownImageSize) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  *module = GetModuleHandleA(nullptr);
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  Count("CloseHandle");
  world().closed.push_back(handle);
  auto it = world().files.find(handle);
  if (it != world().files.end()) {
    fclose(it->second);
    world().files.erase(it);
    world().fileNames.erase(handle);
    world().fileAccess.erase(handle);
  }
  return TRUE;
}

// As on Windows, a file still open cannot be deleted.
void GetLocalTime(LPSYSTEMTIME time) { *time = world().target.localTime; }

void GetSystemInfo(LPSYSTEM_INFO info) {
  memset(info, 0, sizeof *info);
  info->dwPageSize = 4096;
  info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<uintptr_t>(0x10000));
  info->lpMaximumApplicationAddress =
      reinterpret_cast<LPVOID>(static_cast<uintptr_t>(world().target.maximumApplicationAddress));
  info->dwAllocationGranularity = 0x10000;
  info->dwNumberOfProcessors = 1;
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  const std::string directory = sim::AnsiText(world().target.currentDirectory);
  if (directory.size() + 1 > size) return static_cast<DWORD>(directory.size() + 1);
  memcpy(buffer, directory.c_str(), directory.size() + 1);
  return static_cast<DWORD>(directory.size());
}

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer) {
  const std::wstring directory = sim::WideText(world().target.currentDirectory);
  if (directory.size() + 1 > size) return static_cast<DWORD>(directory.size() + 1);
  wcscpy(buffer, directory.c_str());
  return static_cast<DWORD>(directory.size());
}

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
  auto it = world().target.environment.find(name);
  if (it == world().target.environment.end()) {
    SetLastError(203);  // ERROR_ENVVAR_NOT_FOUND
    return 0;
  }
  const std::string& value = it->second;
  if (value.size() + 1 > size) return static_cast<DWORD>(value.size() + 1);
  memcpy(buffer, value.c_str(), value.size() + 1);
  return static_cast<DWORD>(value.size());
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }
DWORD GetCurrentProcessId() { return world().target.currentProcessId; }

// Threads run to their end inside CreateThread: the simulated world has one thread.
HANDLE CreateThread(void*, SIZE_T, LPTHREAD_START_ROUTINE routine, LPVOID parameter, DWORD, LPDWORD threadId) {
  Count("CreateThread");
  if (threadId) *threadId = 0x777;
  routine(parameter);
  return sim::kThreadObjectHandle;
}

DWORD WaitForSingleObject(HANDLE, DWORD) {
  Count("WaitForSingleObject");
  return WAIT_OBJECT_0;
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  int n = vsnprintf(buffer, 1025, format, args);  // the platform's limit is 1024 characters
  va_end(args);
  return n > 1024 ? 1024 : n;
}

// Word-sort order: letters compare without case first, lower case before upper on a tie.
int lstrcmpA(LPCSTR a, LPCSTR b) {
  int folded = strcasecmp(a, b);
  if (folded != 0) return folded < 0 ? -1 : 1;
  int exact = strcmp(a, b);
  return exact == 0 ? 0 : (exact < 0 ? 1 : -1);
}

// Processes and debugging.
BOOL EnumProcesses(DWORD* ids, DWORD bytes, DWORD* bytesReturned) {
  Count("EnumProcesses");
  const auto& processes = world().target.processes;
  DWORD capacity = bytes / 4;
  DWORD n = std::min<DWORD>(capacity, static_cast<DWORD>(processes.size()));
  for (DWORD i = 0; i < n; ++i) ids[i] = processes[i].id;
  *bytesReturned = n * 4;
  return TRUE;
}

HANDLE OpenProcess(DWORD, BOOL, DWORD processId) {
  Count("OpenProcess");
  const sim::Process* listed = sim::ListedProcess(processId);
  if ((listed && !listed->openable) || (!listed && processId != world().target.processId)) {
    SetLastError(listed ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return reinterpret_cast<HANDLE>(sim::kOpenedProcessBase + processId);
}

BOOL EnumProcessModules(HANDLE process, HMODULE* modules, DWORD bytes, LPDWORD bytesNeeded) {
  Count("EnumProcessModules");
  DWORD id = sim::ProcessIdOfHandle(process);
  const sim::Process* listed = sim::ListedProcess(id);
  if (listed && listed->is64Bit) {
    SetLastError(ERROR_PARTIAL_COPY);
    return FALSE;
  }
  if ((listed && !listed->modulesListable) || (!listed && id != world().target.processId)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (bytesNeeded) *bytesNeeded = 4;
  if (bytes >= sizeof(HMODULE)) modules[0] = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000));
  return TRUE;
}

namespace sim {
namespace {

// The program path of a process; null (and the error set) when it cannot be named.
const std::string* ProgramPath(HANDLE process, DWORD size) {
  const Process* listed = ListedProcess(ProcessIdOfHandle(process));
  const std::string& path = listed ? listed->path : world().target.mainModulePath;
  if (path.empty() || size == 0) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return &path;
}

}  // namespace
}  // namespace sim

DWORD GetModuleFileNameExA(HANDLE process, HMODULE, LPSTR name, DWORD size) {
  Count("GetModuleFileNameExA");
  const std::string* path = sim::ProgramPath(process, size);
  return path ? sim::CopyAnsiName(*path, name, size) : 0;
}

DWORD GetModuleFileNameExW(HANDLE process, HMODULE, LPWSTR name, DWORD size) {
  Count("GetModuleFileNameExW");
  const std::string* path = sim::ProgramPath(process, size);
  return path ? sim::CopyWideName(*path, name, size) : 0;
}

BOOL GetProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD) {
  Count("GetProcessMemoryInfo");
  const sim::Process* listed = sim::ListedProcess(sim::ProcessIdOfHandle(process));
  if (listed && !listed->memoryInfo) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  counters->WorkingSetSize = listed ? listed->workingSet : 0;
  return TRUE;
}

BOOL OpenProcessToken(HANDLE, DWORD, HANDLE* token) {
  Count("OpenProcessToken");
  if (world().target.tokenOpenFails) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  *token = sim::kTokenHandle;
  return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR, LPCSTR, LUID* luid) {
  Count("LookupPrivilegeValueA");
  luid->LowPart = 20;  // SeDebugPrivilege
  luid->HighPart = 0;
  return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD bufferLength, PTOKEN_PRIVILEGES, DWORD* returnLength) {
  Count("AdjustTokenPrivileges");
  DWORD wanted = world().target.adjustReturnLength;
  if (wanted != 0 && bufferLength < wanted) {
    if (returnLength) *returnLength = wanted;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL DebugActiveProcess(DWORD processId) {
  Count("DebugActiveProcess");
  world().debugControl.push_back("DebugActiveProcess");
  sim::Target& t = world().target;
  if (processId != t.processId || !t.attachAllowed) {
    SetLastError(processId != t.processId ? ERROR_INVALID_PARAMETER : t.attachError);
    return FALSE;
  }
  t.debuggerAttached = true;
  return TRUE;
}

// Acts on the debuggee of the calling thread; without one there is no debug object.
BOOL DebugSetProcessKillOnExit(BOOL killOnExit) {
  Count("DebugSetProcessKillOnExit");
  world().debugControl.push_back(killOnExit ? "DebugSetProcessKillOnExit(1)" : "DebugSetProcessKillOnExit(0)");
  sim::Target& t = world().target;
  if (!t.debuggerAttached || t.killOnExitFails) {
    SetLastError(t.killOnExitFails ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  t.killOnExit = killOnExit != FALSE;
  return TRUE;
}

// Detaching continues whatever events are still queued, so none is delivered afterwards,
// and every thread of the target runs on.
BOOL DebugActiveProcessStop(DWORD processId) {
  Count("DebugActiveProcessStop");
  world().debugControl.push_back("DebugActiveProcessStop");
  sim::World& w = world();
  sim::Target& t = w.target;
  if (processId != t.processId || !t.debuggerAttached) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!t.detachAllowed) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  t.debuggerAttached = false;
  w.nextEvent = t.events.size();
  return TRUE;
}

BOOL WaitForDebugEvent(LPDEBUG_EVENT event, DWORD) {
  Count("WaitForDebugEvent");
  sim::World& w = world();
  if (w.nextEvent >= w.target.events.size()) {
    SetLastError(ERROR_SEM_TIMEOUT);
    return FALSE;
  }
  *event = w.target.events[w.nextEvent++];
  w.threadExiting = event->dwDebugEventCode == EXIT_THREAD_DEBUG_EVENT;
  w.exitingThread = event->dwThreadId;
  return TRUE;
}

BOOL ContinueDebugEvent(DWORD, DWORD, DWORD status) {
  Count("ContinueDebugEvent");
  char call[40];
  snprintf(call, sizeof call, "ContinueDebugEvent(0x%x)", static_cast<unsigned>(status));
  world().debugControl.push_back(call);
  world().continues.push_back(status);
  // As Windows does: continuing an exit-thread event closes the thread's handle.
  if (world().threadExiting) {
    for (sim::Thread& thread : world().target.threads) {
      if (thread.id == world().exitingThread) thread.exited = true;
    }
    world().threadExiting = false;
  }
  if (world().target.continueFails) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL GetThreadContext(HANDLE thread, LPCONTEXT context) {
  Count("GetThreadContext");
  for (const sim::Thread& candidate : world().target.threads) {
    if (candidate.handle == thread) {
      if (!candidate.contextReadable || candidate.exited) break;
      DWORD flags = context->ContextFlags;
      *context = candidate.context;
      context->ContextFlags = flags;
      return TRUE;
    }
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

// All or nothing: a range with any unreadable byte fails.
BOOL ReadProcessMemory(HANDLE, LPCVOID address, LPVOID buffer, SIZE_T size, SIZE_T* bytesRead) {
  Count("ReadProcessMemory");
  sim::RaiseIfScripted("ReadProcessMemory");
  DWORD start = static_cast<DWORD>(reinterpret_cast<uintptr_t>(address));
  // The log is for tests that look at a few reads; long runs (the fuzzer) must not grow it without end.
  if (world().reads.size() < sim::kMaxLoggedReads) world().reads.emplace_back(start, static_cast<DWORD>(size));
  if (bytesRead) *bytesRead = 0;
  if (size == 0) return TRUE;
  if (static_cast<uint64_t>(start) + size > 0x100000000ull) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  // Check first, then copy, so that a failed read leaves the buffer alone.
  for (DWORD at = start, left = static_cast<DWORD>(size); left > 0;) {
    const sim::Region* region = sim::RegionAt(at);
    if (region == nullptr || !sim::Readable(*region)) {
      // The copy runs upwards and stops at the first page it cannot read.
      if (region != nullptr && sim::Guarded(*region)) sim::ClearGuard(at);
      SetLastError(ERROR_PARTIAL_COPY);
      return FALSE;
    }
    DWORD chunk = std::min(left, region->size - (at - region->base));
    at += chunk;
    left -= chunk;
  }
  BYTE* out = static_cast<BYTE*>(buffer);
  for (DWORD at = start, left = static_cast<DWORD>(size); left > 0;) {
    const sim::Region* region = sim::RegionAt(at);
    DWORD offset = at - region->base;
    DWORD chunk = std::min(left, region->size - offset);
    DWORD stored = offset < region->bytes.size() ? std::min<DWORD>(chunk, static_cast<DWORD>(region->bytes.size()) - offset) : 0;
    if (stored) memcpy(out, region->bytes.data() + offset, stored);
    if (chunk > stored) memset(out + stored, 0, chunk - stored);
    out += chunk;
    at += chunk;
    left -= chunk;
  }
  if (bytesRead) *bytesRead = size;
  return TRUE;
}

SIZE_T VirtualQueryEx(HANDLE, LPCVOID address, PMEMORY_BASIC_INFORMATION info, SIZE_T length) {
  Count("VirtualQueryEx");
  sim::RaiseIfScripted("VirtualQueryEx");
  const sim::Target& t = world().target;
  DWORD at = static_cast<DWORD>(reinterpret_cast<uintptr_t>(address));
  if (at >= t.queryFailsFrom || length < sizeof *info) {
    SetLastError(at >= t.queryFailsFrom ? t.queryError : ERROR_INVALID_PARAMETER);
    return 0;
  }
  memset(info, 0, sizeof *info);
  if (const sim::Region* region = sim::RegionAt(at)) {
    // As Windows answers: from the page of the address up to the first page of other
    // attributes or of another allocation.
    const DWORD base = std::max(region->base, at & ~0xFFFu);
    uint64_t end = static_cast<uint64_t>(region->base) + region->size;
    for (const sim::Region& next : t.regions) {
      if (next.base != end || next.allocationBase != region->allocationBase || next.state != region->state ||
          next.protect != region->protect || next.type != region->type) {
        continue;
      }
      end += next.size;
    }
    info->BaseAddress = reinterpret_cast<PVOID>(static_cast<uintptr_t>(base));
    info->AllocationBase = reinterpret_cast<PVOID>(static_cast<uintptr_t>(region->allocationBase));
    info->AllocationProtect = region->allocationProtect;
    info->RegionSize = static_cast<SIZE_T>(end - base);
    info->State = region->state;
    info->Protect = region->protect;
    info->Type = region->type;
    return sizeof *info;
  }
  // A free gap from the page of the address to the next region, or to the end of the user
  // space where the queries fail.
  DWORD base = at & ~0xFFFu;
  uint64_t end = t.queryFailsFrom != 0xFFFFFFFF ? t.queryFailsFrom : 0x100000000ull;
  for (const sim::Region& region : t.regions) {
    if (region.base > base) {
      end = std::min<uint64_t>(end, region.base);
      break;
    }
  }
  info->BaseAddress = reinterpret_cast<PVOID>(static_cast<uintptr_t>(base));
  info->RegionSize = static_cast<SIZE_T>(end - base);
  info->State = MEM_FREE;
  info->Protect = PAGE_NOACCESS;
  return sizeof *info;
}

LPVOID VirtualAlloc(LPVOID, SIZE_T size, DWORD, DWORD) {
  Count("VirtualAlloc");
  if (size > world().target.ownAllocationLimit) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return calloc(1, size);
}

BOOL VirtualFree(LPVOID address, SIZE_T, DWORD) {
  Count("VirtualFree");
  free(address);
  return TRUE;
}

// Sets the protection of every page in the range, which must lie in committed regions;
// the old protection is the first page's.
BOOL VirtualProtectEx(HANDLE, LPVOID address, SIZE_T size, DWORD protect, PDWORD oldProtect) {
  Count("VirtualProtectEx");
  sim::Target& t = world().target;
  const DWORD start = static_cast<DWORD>(reinterpret_cast<uintptr_t>(address)) & ~0xFFFu;
  const uint64_t end = (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(address)) + size + 0xFFF) & ~0xFFFull;
  for (uint64_t at = start; at < end;) {
    const sim::Region* region = sim::RegionAt(static_cast<DWORD>(at));
    if (region == nullptr || region->state != MEM_COMMIT || size == 0 || oldProtect == nullptr) {
      SetLastError(region == nullptr || region->state != MEM_COMMIT ? ERROR_INVALID_ADDRESS : ERROR_NOACCESS);
      return FALSE;
    }
    at = static_cast<uint64_t>(region->base) + region->size;
  }
  *oldProtect = sim::RegionAt(start)->protect;
  sim::SplitAt(start);
  if (end < 0x100000000ull) sim::SplitAt(static_cast<DWORD>(end));
  for (sim::Region& region : t.regions) {
    if (region.base >= start && region.base < end) region.protect = protect;
  }
  if (protect & PAGE_GUARD) ++t.guardsRestored;
  sim::MergeAlike();
  return TRUE;
}

BOOL IsWow64Process(HANDLE process, BOOL* wow64) {
  Count("IsWow64Process");
  const sim::Target& t = world().target;
  const sim::Process* listed = sim::ListedProcess(sim::ProcessIdOfHandle(process));
  // Under WOW64 every 32-bit process runs so; a 64-bit process does not.
  *wow64 = t.wow64 && !(listed != nullptr && listed->is64Bit);
  return TRUE;
}

// The image's path in the system's device form; any process, whatever its bitness.
DWORD GetProcessImageFileNameW(HANDLE process, LPWSTR name, DWORD size) {
  Count("GetProcessImageFileNameW");
  const std::string* path = sim::ProgramPath(process, size);
  if (path == nullptr) return 0;
  const std::string device = "\\Device\\HarddiskVolume1" + (path->size() > 2 && (*path)[1] == ':' ? path->substr(2) : *path);
  return sim::CopyWideName(device, name, size);
}

// The invasion at SymInitialize already knows every module of the world.
DWORD SymLoadModule(HANDLE, HANDLE, PCSTR, PCSTR, DWORD, DWORD) {
  Count("SymLoadModule");
  return 0;
}

BOOL SetEvent(HANDLE event) {
  Count("SetEvent");
  world().debugControl.push_back("SetEvent");
  if (event != world().target.eventHandle) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

// Starts the target as the caller's debuggee: its events are those the test scripted.
BOOL CreateProcessW(LPCWSTR, LPWSTR commandLine, void*, void*, BOOL, DWORD flags, void*, LPCWSTR, LPSTARTUPINFOW,
                    LPPROCESS_INFORMATION information) {
  Count("CreateProcessW");
  world().debugControl.push_back("CreateProcessW");
  sim::Target& t = world().target;
  t.launchedCommandLine = commandLine != nullptr ? commandLine : L"";
  if (t.launchError != 0) {
    SetLastError(t.launchError);
    return FALSE;
  }
  t.debuggerAttached = (flags & DEBUG_ONLY_THIS_PROCESS) != 0;
  information->hProcess = t.processHandle;
  information->hThread = sim::kThreadObjectHandle;
  information->dwProcessId = t.processId;
  information->dwThreadId = t.threads.empty() ? 0 : t.threads[0].id;
  return TRUE;
}

BOOL TerminateProcess(HANDLE process, DWORD exitCode) {
  Count("TerminateProcess");
  world().debugControl.push_back("TerminateProcess");
  sim::Target& t = world().target;
  if (sim::ProcessIdOfHandle(process) != t.processId || t.terminated) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  t.terminated = true;
  DEBUG_EVENT exit{};
  exit.dwDebugEventCode = EXIT_PROCESS_DEBUG_EVENT;
  exit.dwProcessId = t.processId;
  exit.u.ExitProcess.dwExitCode = exitCode;
  t.events.push_back(exit);
  return TRUE;
}

// Symbol handler.
BOOL SymInitialize(HANDLE, PCSTR searchPath, BOOL invadeProcess) {
  Count("SymInitialize");
  sim::Target& t = world().target;
  t.symbolsActive = true;
  t.symbolSearchPath = searchPath ? searchPath : "(null)";
  t.symbolsInvaded = invadeProcess != FALSE;
  t.symbolOptionsAtStart = t.symbolOptions;
  return TRUE;
}

DWORD SymGetOptions() { return world().target.symbolOptions; }

DWORD SymSetOptions(DWORD options) {
  Count("SymSetOptions");
  world().target.symbolOptions = options;
  return options;
}

BOOL SymCleanup(HANDLE) {
  Count("SymCleanup");
  world().target.symbolsActive = false;
  return TRUE;
}

// Windows answers address 0 with the first module and 0xFFFFFFFF with the next one.
BOOL SymGetModuleInfo(HANDLE, DWORD address, PIMAGEHLP_MODULE info) {
  Count("SymGetModuleInfo");
  sim::World& w = world();
  if (!w.target.symbolsActive) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  std::vector<const sim::Module*> known = sim::KnownModules();
  const sim::Module* found = nullptr;
  if (w.target.moduleQueriesByOrderFail && (address == 0 || address == 0xFFFFFFFF)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (address == 0) {
    w.nextModuleQuery = 0;
    if (!known.empty()) found = known[w.nextModuleQuery++];
  } else if (address == 0xFFFFFFFF) {
    if (w.nextModuleQuery < known.size()) found = known[w.nextModuleQuery++];
  } else {
    for (const sim::Module* module : known) {
      if (address - module->base < module->size) found = module;
    }
  }
  if (found == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  sim::FillModuleInfo(*found, info);
  return TRUE;
}

// The nearest symbol at or below the address, within the module that holds the address.
BOOL SymGetSymFromAddr(HANDLE, DWORD address, PDWORD displacement, PIMAGEHLP_SYMBOL symbol) {
  Count("SymGetSymFromAddr");
  const sim::Target& t = world().target;
  if (!t.symbolsActive || symbol == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  const sim::Module* module = sim::ModuleAt(address);
  const sim::Symbol* best = nullptr;
  for (const sim::Symbol& candidate : t.symbols) {
    if (candidate.address > address) break;
    if (sim::ModuleAt(candidate.address) != module) continue;
    best = &candidate;
  }
  if (best == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  symbol->Address = best->address;
  symbol->Size = best->size;
  symbol->Flags = best->flags;
  if (symbol->MaxNameLength > 0) sim::CopyText(symbol->Name, symbol->MaxNameLength, best->name);
  if (displacement) *displacement = address - best->address;
  return TRUE;
}

PVOID SymFunctionTableAccess(HANDLE, DWORD address) {
  Count("SymFunctionTableAccess");
  sim::Target& t = world().target;
  if (!t.symbolsActive) return nullptr;
  for (FPO_DATA& record : t.fpo) {
    if (address - record.ulOffStart < record.cbProcSize) return &record;
  }
  return nullptr;
}

BOOL SymEnumerateSymbols(HANDLE, DWORD base, PSYM_ENUMSYMBOLS_CALLBACK callback, PVOID context) {
  Count("SymEnumerateSymbols");
  const sim::Target& t = world().target;
  if (!t.symbolsActive) return FALSE;
  const sim::Module* module = sim::ModuleAt(base);
  if (module == nullptr || module->base != base) return FALSE;
  for (const sim::Symbol& symbol : t.symbols) {
    if (sim::ModuleAt(symbol.address) != module) continue;
    if (!callback(symbol.name.c_str(), symbol.address, symbol.size, context)) break;
  }
  return TRUE;
}

BOOL SymEnumerateModules(HANDLE, PSYM_ENUMMODULES_CALLBACK callback, PVOID context) {
  Count("SymEnumerateModules");
  if (!world().target.symbolsActive) return FALSE;
  for (const sim::Module* module : sim::KnownModules()) {
    if (!callback(module->moduleName.c_str(), module->base, context)) break;
  }
  return TRUE;
}

// Minidumps: the call is recorded with what it was given; the file gets a header, as far as
// the disk has room, and the dump fails as dbghelp does, with an HRESULT.
BOOL MiniDumpWriteDump(HANDLE process, DWORD processId, HANDLE file, MINIDUMP_TYPE type,
                       PMINIDUMP_EXCEPTION_INFORMATION exceptionParam, PMINIDUMP_USER_STREAM_INFORMATION,
                       PMINIDUMP_CALLBACK_INFORMATION) {
  Count("MiniDumpWriteDump");
  sim::World& w = world();
  w.debugControl.push_back("MiniDumpWriteDump");
  sim::MinidumpCall call;
  call.process = process;
  call.processId = processId;
  auto name = w.fileNames.find(file);
  if (name != w.fileNames.end()) {
    call.fileName = name->second;
    call.fileWritable = (w.fileAccess[file] & GENERIC_WRITE) != 0;
  }
  call.type = static_cast<DWORD>(type);
  if (exceptionParam != nullptr) {
    call.withException = true;
    call.threadId = exceptionParam->ThreadId;
    call.clientPointers = exceptionParam->ClientPointers;
    // Pointers of the caller's own address space are read only when ClientPointers is false.
    if (!exceptionParam->ClientPointers && exceptionParam->ExceptionPointers != nullptr) {
      call.exceptionCode = exceptionParam->ExceptionPointers->ExceptionRecord->ExceptionCode;
      call.context = *exceptionParam->ExceptionPointers->ContextRecord;
    }
  }
  call.targetStopped = w.target.debuggerAttached && !w.target.terminated;
  call.symbolsActive = w.target.symbolsActive;
  call.writesBefore = w.writes;
  w.minidumps.push_back(call);

  const DWORD kHresultInvalidHandle = 0x80070006;
  const DWORD kHresultDiskFull = 0x80070070;
  if (sim::ProcessIdOfHandle(process) != w.target.processId || processId != w.target.processId || w.target.terminated) {
    SetLastError(kHresultInvalidHandle);
    return FALSE;
  }
  if (!call.fileWritable) {
    SetLastError(kHresultInvalidHandle);
    return FALSE;
  }
  static const BYTE kHeader[32] = {'M', 'D', 'M', 'P', 0x93, 0xa7};
  DWORD written = 0;
  if (!WriteFile(file, kHeader, sizeof kHeader, &written, nullptr) || written != sizeof kHeader) {
    SetLastError(kHresultDiskFull);
    return FALSE;
  }
  if (w.target.minidumpError != 0) {
    SetLastError(w.target.minidumpError);
    return FALSE;
  }
  return TRUE;
}
