// One entry of the session's thread table: the thread as the creation event delivered it and,
// once the report reads it, its register state.
#pragma once

#include <stdint.h>
#include <string.h>

#include "session/platform.h"

struct CThreadContext {
  HANDLE hThread;     // not owned
  uint32_t threadId;
  uint32_t eip = 0;   // copies of the context's Eip, Ebp, Esp, set by ReadThreadContext
  uint32_t ebp = 0;
  uint32_t esp = 0;
  CONTEXT context;

  CThreadContext(HANDLE thread, uint32_t id) : hThread(thread), threadId(id) {
    memset(&context, 0, sizeof context);
  }
};
