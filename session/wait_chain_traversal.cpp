// The traversal's declarations come with Vista's headers; the entry points are found at run
// time, so the tool still starts where they are missing.
#ifdef _WIN32
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif
#include "session/wait_chain_traversal.h"

#include <string.h>

#ifdef _WIN32
#include <wct.h>
#endif

namespace {

typedef HWCT(WINAPI* OpenFunction)(DWORD, PVOID);
typedef void(WINAPI* CloseFunction)(HWCT);
constexpr DWORD kMaxNodes = 16;  // WCT_MAX_NODE_COUNT
typedef BOOL(WINAPI* ChainFunction)(HWCT, ULONG_PTR, DWORD, DWORD, LPDWORD, WAITCHAIN_NODE_INFO*, BOOL*);

struct Entries {
  OpenFunction open = nullptr;
  CloseFunction close = nullptr;
  ChainFunction chain = nullptr;
};

// Found at run time on Windows: a system whose advapi32 lacks them still runs the tool.
Entries Find() {
  Entries entries;
#ifdef _WIN32
  HMODULE advapi = LoadLibraryA("advapi32.dll");
  if (advapi == nullptr) return entries;
  entries.open = reinterpret_cast<OpenFunction>(GetProcAddress(advapi, "OpenThreadWaitChainSession"));
  entries.close = reinterpret_cast<CloseFunction>(GetProcAddress(advapi, "CloseThreadWaitChainSession"));
  entries.chain = reinterpret_cast<ChainFunction>(GetProcAddress(advapi, "GetThreadWaitChain"));
#else
  entries.open = &OpenThreadWaitChainSession;
  entries.close = &CloseThreadWaitChainSession;
  entries.chain = &GetThreadWaitChain;
#endif
  return entries;
}

const Entries& Platform() {
  static const Entries entries = Find();
  return entries;
}

}  // namespace

CWaitChainTraversal::CWaitChainTraversal() {
  const Entries& entries = Platform();
  if (entries.open == nullptr || entries.close == nullptr || entries.chain == nullptr) {
    openError = ERROR_NOT_SUPPORTED;
    return;
  }
  session = entries.open(0, nullptr);  // no callback: synchronous
  if (session == nullptr) openError = GetLastError();
}

CWaitChainTraversal::~CWaitChainTraversal() {
  if (session != nullptr) Platform().close(static_cast<HWCT>(session));
}

bool CWaitChainTraversal::Holder(uint32_t threadId, uint32_t* holder) {
  if (session == nullptr) return false;
  WAITCHAIN_NODE_INFO nodes[kMaxNodes];
  memset(nodes, 0, sizeof nodes);
  DWORD count = kMaxNodes;
  BOOL cycle = FALSE;
  if (!Platform().chain(static_cast<HWCT>(session), 0, 0, threadId, &count, nodes, &cycle)) return false;
  if (count > kMaxNodes) count = kMaxNodes;
  // Thread, what it waits for, the thread that holds it, and so on.
  for (DWORD i = 1; i < count; ++i) {
    if (nodes[i].ObjectType != WctThreadType) continue;
    if (nodes[i].ThreadObject.ThreadId == threadId || nodes[i].ThreadObject.ThreadId == 0) return false;
    *holder = nodes[i].ThreadObject.ThreadId;
    return true;
  }
  return false;
}
