#include "report/wait_calls.h"

#include <string.h>

namespace {

using K = WaitCallKind;
using T = TimeoutForm;
using A = AllForm;
constexpr int8_t N = kNoArgument;

// name, kind, object, count, all, all form, timeout, timeout form, message
const WaitCall kCalls[] = {
    {"EnterCriticalSection", K::kCriticalSection, 0, N, N, A::kAny, N, T::kNone, N},
    {"RtlEnterCriticalSection", K::kCriticalSection, 0, N, N, A::kAny, N, T::kNone, N},
    // Wine's and older Windows' wait under it, for a stack whose outer frame was lost.
    {"RtlpWaitForCriticalSection", K::kCriticalSection, 0, N, N, A::kAny, N, T::kNone, N},
    {"WaitForSingleObject", K::kObject, 0, N, N, A::kAny, 1, T::kMilliseconds, N},
    {"WaitForSingleObjectEx", K::kObject, 0, N, N, A::kAny, 1, T::kMilliseconds, N},
    {"NtWaitForSingleObject", K::kObject, 0, N, N, A::kAny, 2, T::kNtTime, N},
    {"ZwWaitForSingleObject", K::kObject, 0, N, N, A::kAny, 2, T::kNtTime, N},
    {"SignalObjectAndWait", K::kObject, 1, N, N, A::kAny, 2, T::kMilliseconds, N},
    {"NtSignalAndWaitForSingleObject", K::kObject, 1, N, N, A::kAny, 3, T::kNtTime, N},
    {"WaitForMultipleObjects", K::kObjects, 1, 0, 2, A::kBoolean, 3, T::kMilliseconds, N},
    {"WaitForMultipleObjectsEx", K::kObjects, 1, 0, 2, A::kBoolean, 3, T::kMilliseconds, N},
    {"NtWaitForMultipleObjects", K::kObjects, 1, 0, 2, A::kNtWaitType, 4, T::kNtTime, N},
    {"ZwWaitForMultipleObjects", K::kObjects, 1, 0, 2, A::kNtWaitType, 4, T::kNtTime, N},
    {"MsgWaitForMultipleObjects", K::kObjects, 1, 0, 2, A::kBoolean, 3, T::kMilliseconds, N},
    {"MsgWaitForMultipleObjectsEx", K::kObjects, 1, 0, 4, A::kWaitAllFlag, 2, T::kMilliseconds, N},
    {"NtUserMsgWaitForMultipleObjectsEx", K::kObjects, 1, 0, 4, A::kWaitAllFlag, 2, T::kMilliseconds, N},
    {"Sleep", K::kSleep, N, N, N, A::kAny, 0, T::kMilliseconds, N},
    {"SleepEx", K::kSleep, N, N, N, A::kAny, 0, T::kMilliseconds, N},
    {"NtDelayExecution", K::kSleep, N, N, N, A::kAny, 1, T::kNtTime, N},
    {"ZwDelayExecution", K::kSleep, N, N, N, A::kAny, 1, T::kNtTime, N},
    {"SendMessageA", K::kSendMessage, 0, N, N, A::kAny, N, T::kNone, 1},
    {"SendMessageW", K::kSendMessage, 0, N, N, A::kAny, N, T::kNone, 1},
    {"SendMessageTimeoutA", K::kSendMessage, 0, N, N, A::kAny, 5, T::kMilliseconds, 1},
    {"SendMessageTimeoutW", K::kSendMessage, 0, N, N, A::kAny, 5, T::kMilliseconds, 1},
    {"NtUserMessageCall", K::kSendMessage, 0, N, N, A::kAny, N, T::kNone, 1},
    {"AcquireSRWLockShared", K::kSrwShared, 0, N, N, A::kAny, N, T::kNone, N},
    {"RtlAcquireSRWLockShared", K::kSrwShared, 0, N, N, A::kAny, N, T::kNone, N},
    {"AcquireSRWLockExclusive", K::kSrwExclusive, 0, N, N, A::kAny, N, T::kNone, N},
    {"RtlAcquireSRWLockExclusive", K::kSrwExclusive, 0, N, N, A::kAny, N, T::kNone, N},
    {"SleepConditionVariableCS", K::kConditionVariable, 0, N, N, A::kAny, 2, T::kMilliseconds, N},
    {"SleepConditionVariableSRW", K::kConditionVariable, 0, N, N, A::kAny, 2, T::kMilliseconds, N},
    {"RtlSleepConditionVariableCS", K::kConditionVariable, 0, N, N, A::kAny, 2, T::kNtTime, N},
    {"RtlSleepConditionVariableSRW", K::kConditionVariable, 0, N, N, A::kAny, 2, T::kNtTime, N},
    {"GetMessageA", K::kMessages, N, N, N, A::kAny, N, T::kNone, N},
    {"GetMessageW", K::kMessages, N, N, N, A::kAny, N, T::kNone, N},
    {"NtUserGetMessage", K::kMessages, N, N, N, A::kAny, N, T::kNone, N},
    {"WaitMessage", K::kMessages, N, N, N, A::kAny, N, T::kNone, N},
    {"NtUserWaitMessage", K::kMessages, N, N, N, A::kAny, N, T::kNone, N},
};

// The name without a leading underscore and a stdcall "@N" suffix, into out.
bool PlainName(const char* name, char* out, size_t capacity) {
  if (name[0] == '_') ++name;
  size_t length = strlen(name);
  const char* at = strrchr(name, '@');
  if (at != nullptr && at != name && at[1] != 0 && strspn(at + 1, "0123456789") == strlen(at + 1)) {
    length = static_cast<size_t>(at - name);
  }
  if (length == 0 || length >= capacity) return false;
  memcpy(out, name, length);
  out[length] = 0;
  return true;
}

}  // namespace

const WaitCall* FindWaitCall(const char* symbolName) {
  if (symbolName == nullptr) return nullptr;
  char plain[64];
  if (!PlainName(symbolName, plain, sizeof plain)) return nullptr;
  for (const WaitCall& call : kCalls) {
    if (strcmp(call.name, plain) == 0) return &call;
  }
  return nullptr;
}
