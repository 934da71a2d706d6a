// What one thread waits for, as the wait-chain section found it, and the words of its line.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

enum class ThreadState : uint8_t {
  kRuns,               // no wait call on its stack: function names where it runs
  kSuspended,
  kArgumentsUnreadable,  // a wait call whose argument words cannot be read: function names it
  kCriticalSection,
  kObjects,            // one or several handles
  kSleeps,
  kSendMessage,
  kSrwLock,
  kConditionVariable,
  kMessages,
};

enum class SectionState : uint8_t { kOwned, kOwnerExited, kFree, kUnreadable };

// A handle waited on, with what the platform said of it.
struct WaitedObject {
  uint32_t handle = 0;
  uint32_t error = 0;       // nonzero: not duplicated; the kind is unknown
  std::string type;         // the platform's type name: "Event", "Mutant", "Thread", ...
  std::string name;         // empty: unnamed
  uint32_t threadId = 0;    // of a thread
  uint32_t processId = 0;   // of a process
  bool ownerKnown = false;  // of a mutex
  uint32_t owner = 0;       // 0: free
};

struct ThreadWait {
  uint32_t threadId = 0;
  ThreadState state = ThreadState::kRuns;
  std::string function;     // kRuns, kArgumentsUnreadable: module!function
  uint32_t address = 0;     // the critical section, SRW lock, condition variable or window
  SectionState section = SectionState::kUnreadable;
  uint32_t owner = 0;       // of the critical section; of the window: its thread
  int32_t recursion = 0;
  bool exclusive = false;   // of an SRW lock
  std::vector<WaitedObject> objects;
  bool all = false;         // several objects: all of them
  bool timed = false;
  bool durationUnknown = false;  // the timeout's argument did not read as a time
  uint32_t milliseconds = 0;
  uint32_t message = 0;
  bool windowKnown = false;
  uint32_t windowProcess = 0;  // when not the target's own
};

// The line after "Thread 0x%x ", without CR LF.
std::string WaitText(const ThreadWait& wait);
// "Thread 0x%x " and WaitText.
std::string WaitLine(const ThreadWait& wait);
// One object as lines name it: "event 00000044 \"ready\"", "thread 0x1d", ...
std::string ObjectText(const WaitedObject& object);
