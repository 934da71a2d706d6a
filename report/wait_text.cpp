#include "report/wait_text.h"

#include <stdio.h>
#include <string.h>

namespace {

std::string Format(const char* format, uint32_t a, uint32_t b = 0, uint32_t c = 0) {
  char text[128];
  snprintf(text, sizeof text, format, static_cast<unsigned>(a), static_cast<unsigned>(b), static_cast<unsigned>(c));
  return text;
}

// The platform's type names as a reader says them.
std::string KindWord(const std::string& type) {
  static const struct {
    const char* type;
    const char* word;
  } kKinds[] = {{"Event", "event"},         {"Mutant", "mutex"},     {"Semaphore", "semaphore"},
                {"Timer", "timer"},         {"Thread", "thread"},    {"Process", "process"},
                {"File", "file"},           {"Job", "job"},          {"IoCompletion", "I/O completion port"},
                {"KeyedEvent", "keyed event"}};
  for (const auto& kind : kKinds) {
    if (type == kind.type) return kind.word;
  }
  return type.empty() ? "object" : type;
}

std::string MutexOwner(const WaitedObject& object) {
  if (!object.ownerKnown) return ", owner unknown";
  if (object.owner == 0) return " (not owned)";
  return Format(" owned by thread 0x%x", object.owner);
}

std::string SectionText(const ThreadWait& wait) {
  std::string text = Format("waits for critical section %08x", wait.address);
  switch (wait.section) {
    case SectionState::kOwned:
      return text + Format(" owned by thread 0x%x (recursion %d)", wait.owner, static_cast<uint32_t>(wait.recursion));
    case SectionState::kOwnerExited:
      return text + Format(" owned by thread 0x%x, which has exited", wait.owner);
    case SectionState::kFree:
      return text + " (not owned)";
    case SectionState::kUnreadable:
      break;
  }
  return text + " (unreadable)";
}

std::string Timeout(const ThreadWait& wait) {
  if (wait.durationUnknown) return ", for how long unknown";
  return wait.timed ? Format(" for %u ms", wait.milliseconds) : "";
}

std::string ObjectsText(const ThreadWait& wait) {
  if (wait.objects.size() == 1) {
    const WaitedObject& object = wait.objects[0];
    if (object.error == 0 && object.type == "Thread") return Format("waits for thread 0x%x to end", object.threadId);
    if (object.error == 0 && object.type == "Process") return Format("waits for process %u to end", object.processId);
    return "waits for " + ObjectText(object);
  }
  std::string text = Format(wait.all ? "waits for all of %u objects: " : "waits for any of %u objects: ",
                            static_cast<uint32_t>(wait.objects.size()));
  for (size_t i = 0; i < wait.objects.size(); ++i) {
    if (i != 0) text += "; ";
    text += ObjectText(wait.objects[i]);
  }
  return text;
}

std::string WindowText(const ThreadWait& wait) {
  std::string text = Format("waits for window %08x", wait.address);
  if (!wait.windowKnown) {
    text += " (no such window)";
  } else {
    text += Format(" of thread 0x%x", wait.owner);
    if (wait.windowProcess != 0) text += Format(" of process %u", wait.windowProcess);
  }
  return text + Format(" to answer message %04x", wait.message);
}

}  // namespace

std::string ObjectText(const WaitedObject& object) {
  if (object.error != 0) return Format("handle %08x (kind unknown, e=%d)", object.handle, object.error);
  if (object.type == "Thread") return Format("thread 0x%x", object.threadId);
  if (object.type == "Process") return Format("process %u", object.processId);
  std::string text = KindWord(object.type) + Format(" %08x", object.handle);
  if (!object.name.empty()) text += " \"" + object.name + "\"";
  if (object.type == "Mutant") text += MutexOwner(object);
  return text;
}

std::string WaitText(const ThreadWait& wait) {
  switch (wait.state) {
    case ThreadState::kRuns:
      return "runs in " + wait.function;
    case ThreadState::kSuspended:
      return "is suspended";
    case ThreadState::kArgumentsUnreadable:
      return "waits in " + wait.function + " (arguments unreadable)";
    case ThreadState::kCriticalSection:
      return SectionText(wait);
    case ThreadState::kObjects:
      return ObjectsText(wait) + Timeout(wait);
    case ThreadState::kSleeps:
      if (wait.durationUnknown) return "sleeps, for how long unknown";
      return wait.timed ? Format("sleeps for %u ms", wait.milliseconds) : "sleeps forever";
    case ThreadState::kSendMessage:
      return WindowText(wait) + Timeout(wait);
    case ThreadState::kSrwLock:
      return Format(wait.exclusive ? "waits for SRW lock %08x (exclusive), owner not recorded"
                                   : "waits for SRW lock %08x (shared), owner not recorded",
                    wait.address);
    case ThreadState::kConditionVariable:
      return Format("waits for condition variable %08x, owner not recorded", wait.address) + Timeout(wait);
    case ThreadState::kMessages:
      return "waits for messages" + Timeout(wait);
  }
  return std::string();
}

std::string WaitLine(const ThreadWait& wait) { return Format("Thread 0x%x ", wait.threadId) + WaitText(wait); }
