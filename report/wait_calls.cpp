#include "report/wait_calls.h"

#include <string.h>

namespace {

using K = WaitCallKind;
using T = TimeoutForm;
using A = AllForm;
constexpr int8_t N = kNoArgument;

// name, kind, object, count, all, all form, timeout, timeout form, message, wrapper
const WaitCall kCalls[] = {
    {"EnterCriticalSection", K::kCriticalSection, 0, N, N, A::kAny, N, T::kNone, N, nullptr},
    {"RtlEnterCriticalSection", K::kCriticalSection, 0, N, N, A::kAny, N, T::kNone, N, nullptr},
    // Wine's and older Windows' wait under it, for a stack whose outer frame was lost.
    {"RtlpWaitForCriticalSection", K::kCriticalSection, 0, N, N, A::kAny, N, T::kNone, N, nullptr},
    {"WaitForSingleObject", K::kObject, 0, N, N, A::kAny, 1, T::kMilliseconds, N, nullptr},
    {"WaitForSingleObjectEx", K::kObject, 0, N, N, A::kAny, 1, T::kMilliseconds, N, nullptr},
    {"NtWaitForSingleObject", K::kObject, 0, N, N, A::kAny, 2, T::kNtTime, N, "WaitForSingleObject"},
    {"ZwWaitForSingleObject", K::kObject, 0, N, N, A::kAny, 2, T::kNtTime, N, nullptr},
    {"SignalObjectAndWait", K::kObject, 1, N, N, A::kAny, 2, T::kMilliseconds, N, nullptr},
    {"NtSignalAndWaitForSingleObject", K::kObject, 1, N, N, A::kAny, 3, T::kNtTime, N, nullptr},
    {"WaitForMultipleObjects", K::kObjects, 1, 0, 2, A::kBoolean, 3, T::kMilliseconds, N, nullptr},
    {"WaitForMultipleObjectsEx", K::kObjects, 1, 0, 2, A::kBoolean, 3, T::kMilliseconds, N, nullptr},
    {"NtWaitForMultipleObjects", K::kObjects, 1, 0, 2, A::kNtWaitType, 4, T::kNtTime, N, "WaitForMultipleObjects"},
    {"ZwWaitForMultipleObjects", K::kObjects, 1, 0, 2, A::kNtWaitType, 4, T::kNtTime, N, nullptr},
    {"MsgWaitForMultipleObjects", K::kObjects, 1, 0, 2, A::kBoolean, 3, T::kMilliseconds, N, nullptr},
    {"MsgWaitForMultipleObjectsEx", K::kObjects, 1, 0, 4, A::kWaitAllFlag, 2, T::kMilliseconds, N, nullptr},
    {"NtUserMsgWaitForMultipleObjectsEx", K::kObjects, 1, 0, 4, A::kWaitAllFlag, 2, T::kMilliseconds, N, nullptr},
    {"Sleep", K::kSleep, N, N, N, A::kAny, 0, T::kMilliseconds, N, nullptr},
    {"SleepEx", K::kSleep, N, N, N, A::kAny, 0, T::kMilliseconds, N, nullptr},
    {"NtDelayExecution", K::kSleep, N, N, N, A::kAny, 1, T::kNtTime, N, "Sleep"},
    {"ZwDelayExecution", K::kSleep, N, N, N, A::kAny, 1, T::kNtTime, N, nullptr},
    {"SendMessageA", K::kSendMessage, 0, N, N, A::kAny, N, T::kNone, 1, nullptr},
    {"SendMessageW", K::kSendMessage, 0, N, N, A::kAny, N, T::kNone, 1, nullptr},
    {"SendMessageTimeoutA", K::kSendMessage, 0, N, N, A::kAny, 5, T::kMilliseconds, 1, nullptr},
    {"SendMessageTimeoutW", K::kSendMessage, 0, N, N, A::kAny, 5, T::kMilliseconds, 1, nullptr},
    {"NtUserMessageCall", K::kSendMessage, 0, N, N, A::kAny, N, T::kNone, 1, "SendMessageW"},
    {"AcquireSRWLockShared", K::kSrwShared, 0, N, N, A::kAny, N, T::kNone, N, nullptr},
    {"RtlAcquireSRWLockShared", K::kSrwShared, 0, N, N, A::kAny, N, T::kNone, N, nullptr},
    {"AcquireSRWLockExclusive", K::kSrwExclusive, 0, N, N, A::kAny, N, T::kNone, N, nullptr},
    {"RtlAcquireSRWLockExclusive", K::kSrwExclusive, 0, N, N, A::kAny, N, T::kNone, N, nullptr},
    {"SleepConditionVariableCS", K::kConditionVariable, 0, N, N, A::kAny, 2, T::kMilliseconds, N, nullptr},
    {"SleepConditionVariableSRW", K::kConditionVariable, 0, N, N, A::kAny, 2, T::kMilliseconds, N, nullptr},
    {"RtlSleepConditionVariableCS", K::kConditionVariable, 0, N, N, A::kAny, 2, T::kNtTime, N, nullptr},
    {"RtlSleepConditionVariableSRW", K::kConditionVariable, 0, N, N, A::kAny, 2, T::kNtTime, N, nullptr},
    {"GetMessageA", K::kMessages, N, N, N, A::kAny, N, T::kNone, N, nullptr},
    {"GetMessageW", K::kMessages, N, N, N, A::kAny, N, T::kNone, N, nullptr},
    {"NtUserGetMessage", K::kMessages, N, N, N, A::kAny, N, T::kNone, N, nullptr},
    {"WaitMessage", K::kMessages, N, N, N, A::kAny, N, T::kNone, N, nullptr},
    {"NtUserWaitMessage", K::kMessages, N, N, N, A::kAny, N, T::kNone, N, nullptr},
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
