// The stand-in's object manager: the target's handles as sim::Target::objects describes them,
// duplicated into the tool as handles of its own that the queries then answer for; the
// windows' threads; suspend counts; and wait chain traversal, which answers on Windows and is
// a stub (ERROR_NOT_SUPPORTED) under Wine.
#include <string.h>

#include "sim/sim.h"

namespace {

// The tool's duplicates: a handle of its own per duplicated object, from this base up.
constexpr uintptr_t kDuplicateBase = 0x9000;
constexpr DWORD kSuspended = 0xFFFFFFFF;

const sim::KernelObject* Duplicated(HANDLE handle) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  const std::vector<sim::KernelObject>& duplicates = sim::target().duplicates;
  if (value < kDuplicateBase || (value - kDuplicateBase) % 4 != 0) return nullptr;
  const size_t index = (value - kDuplicateBase) / 4;
  return index < duplicates.size() ? &duplicates[index] : nullptr;
}

// A UNICODE_STRING followed by its text, as the object manager fills a buffer.
NTSTATUS PutString(const std::string& utf8, PVOID information, ULONG length, PULONG returned) {
  const std::wstring text = sim::WideText(utf8);
  const ULONG bytes = static_cast<ULONG>(text.size() * sizeof(WCHAR));
  const ULONG needed = sizeof(UNICODE_STRING) + bytes + sizeof(WCHAR);
  if (returned != nullptr) *returned = needed;
  if (length < needed) return STATUS_INFO_LENGTH_MISMATCH;
  UNICODE_STRING* string = static_cast<UNICODE_STRING*>(information);
  WCHAR* chars = reinterpret_cast<WCHAR*>(string + 1);
  memcpy(chars, text.data(), bytes);
  chars[text.size()] = 0;
  string->Length = static_cast<WORD>(bytes);
  string->MaximumLength = static_cast<WORD>(bytes + sizeof(WCHAR));
  string->Buffer = text.empty() ? nullptr : chars;
  return STATUS_SUCCESS;
}

sim::Thread* ThreadByHandle(HANDLE handle) {
  for (sim::Thread& thread : sim::target().threads) {
    if (thread.handle == handle && !thread.exited) return &thread;
  }
  return nullptr;
}

}  // namespace

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target, DWORD, BOOL,
                     DWORD) {
  if (sourceProcess != sim::target().processHandle || targetProcess != GetCurrentProcess() || target == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const DWORD value = static_cast<DWORD>(reinterpret_cast<uintptr_t>(source));
  for (const sim::KernelObject& object : sim::target().objects) {
    if (object.handle != value) continue;
    if (!object.duplicable) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    std::vector<sim::KernelObject>& duplicates = sim::target().duplicates;
    *target = reinterpret_cast<HANDLE>(kDuplicateBase + 4 * duplicates.size());
    duplicates.push_back(object);
    return TRUE;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

NTSTATUS NtQueryObject(HANDLE handle, OBJECT_INFORMATION_CLASS which, PVOID information, ULONG length,
                       PULONG returned) {
  const sim::KernelObject* object = Duplicated(handle);
  if (object == nullptr) return STATUS_INVALID_HANDLE;
  if (which == ObjectTypeInformation) return PutString(object->type, information, length, returned);
  if (which == ObjectNameInformation) {
    // Named objects live in a directory of the session; unnamed ones answer an empty name.
    const std::string path = object->name.empty() ? "" : "\\Sessions\\1\\BaseNamedObjects\\" + object->name;
    return PutString(path, information, length, returned);
  }
  return STATUS_INVALID_INFO_CLASS;
}

NTSTATUS NtQueryMutant(HANDLE handle, int which, PVOID information, ULONG length, PULONG returned) {
  const sim::KernelObject* object = Duplicated(handle);
  if (object == nullptr || object->type != "Mutant") return STATUS_INVALID_HANDLE;
  // Class 1, the owner, is Windows' alone.
  if (which != 1 || sim::target().platform != sim::Platform::kWindows || !object->ownerQueryable) {
    return STATUS_INVALID_INFO_CLASS;
  }
  if (length < sizeof(CLIENT_ID)) return STATUS_INFO_LENGTH_MISMATCH;
  CLIENT_ID* owner = static_cast<CLIENT_ID*>(information);
  owner->UniqueProcess = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(object->owner ? sim::target().processId : 0));
  owner->UniqueThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(object->owner));
  if (returned != nullptr) *returned = sizeof(CLIENT_ID);
  return STATUS_SUCCESS;
}

DWORD GetThreadId(HANDLE thread) {
  const sim::KernelObject* object = Duplicated(thread);
  if (object != nullptr && object->type == "Thread") return object->threadId;
  SetLastError(ERROR_INVALID_HANDLE);
  return 0;
}

DWORD GetProcessId(HANDLE process) {
  const sim::KernelObject* object = Duplicated(process);
  if (object != nullptr && object->type == "Process") return object->processId;
  if (process == sim::target().processHandle) return sim::target().processId;
  SetLastError(ERROR_INVALID_HANDLE);
  return 0;
}

DWORD SuspendThread(HANDLE thread) {
  sim::Thread* found = ThreadByHandle(thread);
  if (found == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return kSuspended;
  }
  return found->suspendCount++;
}

DWORD ResumeThread(HANDLE thread) {
  sim::Thread* found = ThreadByHandle(thread);
  if (found == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return kSuspended;
  }
  const DWORD before = found->suspendCount;
  if (before != 0) --found->suspendCount;
  return before;
}

DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId) {
  const DWORD value = static_cast<DWORD>(reinterpret_cast<uintptr_t>(window));
  for (const sim::Window& candidate : sim::target().windows) {
    if (candidate.handle != value) continue;
    if (processId != nullptr) *processId = candidate.processId;
    return candidate.threadId;
  }
  SetLastError(1400);  // ERROR_INVALID_WINDOW_HANDLE
  return 0;
}

HWCT OpenThreadWaitChainSession(DWORD, PVOID) {
  // Wine's stub refuses to open one.
  if (sim::target().platform != sim::Platform::kWindows) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  return reinterpret_cast<HWCT>(static_cast<uintptr_t>(0x7700));
}

void CloseThreadWaitChainSession(HWCT) {}

BOOL GetThreadWaitChain(HWCT session, ULONG_PTR, DWORD, DWORD threadId, LPDWORD nodeCount, WAITCHAIN_NODE_INFO* nodes,
                        BOOL* isCycle) {
  if (session == nullptr || sim::target().platform != sim::Platform::kWindows) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (nodeCount == nullptr || nodes == nullptr || *nodeCount < 3) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // The waiting thread, what it waits for, and the thread that holds it.
  memset(nodes, 0, 3 * sizeof *nodes);
  nodes[0].ObjectType = WctThreadType;
  nodes[0].ThreadObject.ProcessId = sim::target().processId;
  nodes[0].ThreadObject.ThreadId = threadId;
  auto owner = sim::target().waitChainOwners.find(threadId);
  if (owner == sim::target().waitChainOwners.end()) {
    *nodeCount = 1;
  } else {
    nodes[1].ObjectType = WctMutexType;
    nodes[2].ObjectType = WctThreadType;
    nodes[2].ThreadObject.ProcessId = sim::target().processId;
    nodes[2].ThreadObject.ThreadId = owner->second;
    *nodeCount = 3;
  }
  if (isCycle != nullptr) *isCycle = FALSE;
  return TRUE;
}
