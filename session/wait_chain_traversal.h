// The platform's wait chain traversal: for a thread of the target, the thread that holds
// what it waits for, where the platform knows (mutexes, waits across processes, COM and ALPC
// on Windows). Wine has only a stub that refuses (ERROR_NOT_SUPPORTED), so everything else
// must stand without it.
#pragma once

#include <stdint.h>

#include "session/platform.h"

class CWaitChainTraversal {
 public:
  CWaitChainTraversal();  // opens a synchronous session; available() says whether it did
  ~CWaitChainTraversal();
  CWaitChainTraversal(const CWaitChainTraversal&) = delete;
  CWaitChainTraversal& operator=(const CWaitChainTraversal&) = delete;

  bool available() const { return session != nullptr; }
  uint32_t error() const { return openError; }
  // The first thread after threadId in its chain: the holder of what it waits for. False when
  // the chain ends at the thread itself or the platform cannot tell.
  bool Holder(uint32_t threadId, uint32_t* holder);

 private:
  void* session = nullptr;  // the platform's HWCT
  uint32_t openError = 0;
};
