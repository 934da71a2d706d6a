// The functions a thread waits in, and which of their arguments is what: the table the
// wait-chain section matches each frame's function against. A frame's arguments are the
// words above its return-address slot, numbered from 0.
#pragma once

#include <stdint.h>

enum class WaitCallKind : uint8_t {
  kCriticalSection,  // object: the RTL_CRITICAL_SECTION
  kObject,           // object: one handle
  kObjects,          // count and array: several handles
  kSleep,
  kSendMessage,      // object: the window; message: the message
  kSrwShared,        // object: the SRW lock
  kSrwExclusive,
  kConditionVariable,  // object: the condition variable
  kMessages,
};

// How a call's timeout argument reads.
enum class TimeoutForm : uint8_t {
  kNone,          // it waits until the object lets it go
  kMilliseconds,  // a count of milliseconds, INFINITE (0xFFFFFFFF) for none
  kNtTime,        // a pointer to a 64-bit time: null for none, negative for 100 ns units from now
};

// How a call says whether all of its objects must be signalled.
enum class AllForm : uint8_t {
  kAny,           // never: any one ends the wait
  kBoolean,       // a BOOL, true: all
  kNtWaitType,    // WAIT_TYPE: 0 (WaitAllObject) all, 1 any
  kWaitAllFlag,   // flags with MWMO_WAITALL (1): all
};

constexpr int8_t kNoArgument = -1;

struct WaitCall {
  const char* name;
  WaitCallKind kind;
  int8_t object;     // the object's argument, or the handle array's
  int8_t count;      // of several handles: their count
  int8_t all;        // the argument that says any or all
  AllForm allForm;
  int8_t timeout;
  TimeoutForm timeoutForm;
  int8_t message;    // of SendMessage: the message
  const char* wrapper;  // of a system call: the function that makes it for programs, or null
};

// Arguments a wait call's line may need, at most.
constexpr int kWaitArguments = 6;

// The entry for a function, by its symbol name: plain ("WaitForSingleObject"), with a
// leading underscore or a stdcall "@8" suffix, as symbol handlers spell them. Null when the
// function is no wait call.
const WaitCall* FindWaitCall(const char* symbolName);
