#include "session/target_handles.h"

#include <string.h>

#include <string>

#include "session/ansi_text.h"

#ifdef _WIN32
#include <winternl.h>
#endif

namespace {

constexpr int kMutantOwnerInformation = 1;
constexpr int kObjectNameClass = 1;
constexpr int kObjectTypeClass = 2;

typedef NTSTATUS(NTAPI* QueryObjectFunction)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
typedef NTSTATUS(NTAPI* QueryMutantFunction)(HANDLE, int, PVOID, ULONG, PULONG);

// The object manager's entry points. The tool's programs must start on every system, so the
// Windows build finds them at run time rather than importing them.
#ifdef _WIN32
FARPROC FromNtdll(const char* name) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr ? GetProcAddress(ntdll, name) : nullptr;
}
QueryObjectFunction QueryObject() { return reinterpret_cast<QueryObjectFunction>(FromNtdll("NtQueryObject")); }
QueryMutantFunction QueryMutant() { return reinterpret_cast<QueryMutantFunction>(FromNtdll("NtQueryMutant")); }
// Vista's; the tool also starts on XP, where a thread object's id stays unknown.
DWORD ThreadIdOf(HANDLE thread) {
  typedef DWORD(WINAPI * ThreadIdFunction)(HANDLE);
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  ThreadIdFunction query =
      kernel32 != nullptr ? reinterpret_cast<ThreadIdFunction>(GetProcAddress(kernel32, "GetThreadId")) : nullptr;
  return query != nullptr ? query(thread) : 0;
}
#else
DWORD ThreadIdOf(HANDLE thread) { return GetThreadId(thread); }
QueryObjectFunction QueryObject() { return &NtQueryObject; }
QueryMutantFunction QueryMutant() { return &NtQueryMutant; }
#endif

// A UNICODE_STRING class of NtQueryObject as wide text; empty when the query fails.
std::wstring QueryText(HANDLE handle, int which) {
  QueryObjectFunction query = QueryObject();
  if (query == nullptr) return std::wstring();
  // Room for the record and a name the object manager allows (at most 32767 characters);
  // aligned for the UNICODE_STRING at its start.
  alignas(8) static unsigned char buffer[sizeof(UNICODE_STRING) + 65536 + 16];
  ULONG returned = 0;
  if (query(handle, static_cast<OBJECT_INFORMATION_CLASS>(which), buffer, sizeof buffer, &returned) != 0) {
    return std::wstring();
  }
  UNICODE_STRING text;
  memcpy(&text, buffer, sizeof text);
  if (text.Buffer == nullptr || text.Length == 0) return std::wstring();
  // The text must lie in the buffer after the record.
  const unsigned char* start = reinterpret_cast<const unsigned char*>(text.Buffer);
  if (start < buffer + sizeof text || text.Length > buffer + sizeof buffer - start) return std::wstring();
  std::wstring wide(text.Length / sizeof(WCHAR), L'\0');
  memcpy(&wide[0], start, wide.size() * sizeof(WCHAR));
  return wide;
}

void CopyText(const std::wstring& wide, char* out, size_t capacity) {
  const std::string text = AnsiForDisplay(wide);
  strncpy(out, text.c_str(), capacity - 1);
  out[capacity - 1] = 0;
}

// A named object's full name is its directory's path and its own; the line shows its own.
std::wstring LastComponent(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void QueryMutantOwner(HANDLE local, TargetHandle* out) {
  QueryMutantFunction query = QueryMutant();
  CLIENT_ID owner;
  memset(&owner, 0, sizeof owner);
  ULONG returned = 0;
  if (query == nullptr || query(local, kMutantOwnerInformation, &owner, sizeof owner, &returned) != 0) return;
  out->ownerKnown = true;
  out->owner = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(owner.UniqueThread));
}

}  // namespace

bool DescribeTargetHandle(HANDLE process, uint32_t handle, TargetHandle* out) {
  *out = TargetHandle();
  HANDLE local = nullptr;
  if (!DuplicateHandle(process, TargetPointer(handle), GetCurrentProcess(), &local, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    out->error = GetLastError();
    if (out->error == 0) out->error = ERROR_INVALID_HANDLE;
    return false;
  }
  CopyText(QueryText(local, kObjectTypeClass), out->type, sizeof out->type);
  const std::string type = out->type;
  // Asking a file or pipe for its name can block on Windows until its I/O ends.
  if (type != "File") CopyText(LastComponent(QueryText(local, kObjectNameClass)), out->name, sizeof out->name);
  if (type == "Thread") out->threadId = ThreadIdOf(local);
  if (type == "Process") out->processId = GetProcessId(local);
  if (type == "Mutant") QueryMutantOwner(local, out);
  CloseHandle(local);
  return true;
}
