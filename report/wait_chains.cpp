#include "report/wait_chains.h"

#include <stdio.h>
#include <string.h>

#include <memory>

#include "report/wait_calls.h"
#include "report/wait_graph.h"
#include "session/symbol_service.h"
#include "session/target_handles.h"
#include "session/wait_chain_traversal.h"
#include "session/window_owner.h"

namespace {

constexpr uint32_t kInfinite = 0xFFFFFFFF;
constexpr uint32_t kMaxWaitObjects = 64;     // MAXIMUM_WAIT_OBJECTS
constexpr size_t kWaitCallGap = 4;           // internal frames allowed between two wait calls of one wait
constexpr uint32_t kSectionSize = 0x18;      // RTL_CRITICAL_SECTION on x86
constexpr uint32_t kMaxRecursion = 0x1000000;

// The function of a frame, when it is in the wait-call table.
const WaitCall* WaitCallAt(const CTarget& target, uint32_t pc) {
  CSymbol symbol;
  // Quietly: the frame lines' marks follow the look-ups of the thread sections alone.
  if (!target.symbols().LookUpQuietly(pc, &symbol)) return nullptr;
  // An export only names what lies within its span: past it is some function of its own.
  if (symbol.fromExports && symbol.size != 0 && symbol.displacement >= symbol.size) return nullptr;
  return FindWaitCall(symbol.name.c_str());
}

// Of the wait calls on the stack, the outermost of the first group: a wait call and the ones
// it makes (WaitForSingleObject, WaitForSingleObjectEx, NtWaitForSingleObject), so that an
// earlier wait further out, in whose callback this one runs, is not taken.
size_t OutermostWait(const CTarget& target, const std::vector<FrameRecord>& frames, const WaitCall** call) {
  size_t chosen = frames.size();
  for (size_t i = 0; i < frames.size(); ++i) {
    const WaitCall* found = WaitCallAt(target, frames[i].pc);
    if (found == nullptr) {
      if (chosen != frames.size() && i - chosen > kWaitCallGap) break;
      continue;
    }
    chosen = i;
    *call = found;
  }
  return chosen;
}

// module!function, function or the address, for the frame where a thread runs.
std::string FunctionText(const CTarget& target, uint32_t pc) {
  std::string text;
  IMAGEHLP_MODULE module;
  memset(&module, 0, sizeof module);
  module.SizeOfStruct = sizeof module;
  // The handler answers address 0 with its first module: only a module that holds pc names it.
  if (SymGetModuleInfo(target.process(), pc, &module) && pc - module.BaseOfImage < module.ImageSize) {
    text = std::string(module.ModuleName) + "!";
  }
  CSymbol symbol;
  if (target.symbols().LookUpQuietly(pc, &symbol)) return text + ShownSymbolName(symbol);
  char address[16];
  snprintf(address, sizeof address, "%08x", static_cast<unsigned>(pc));
  return text + address;
}

// The argument words of a frame: read above its return-address slot, or the four the frame
// record holds where the slot is not known. count: how many could be had.
struct Arguments {
  uint32_t words[kWaitArguments] = {};
  int count = 0;
  bool Has(int8_t index) const { return index == kNoArgument || index < count; }
  uint32_t operator[](int8_t index) const { return words[index]; }
};

Arguments ReadArguments(const CTarget& target, const FrameRecord& frame) {
  Arguments arguments;
  if (frame.returnSlot == 0) {
    memcpy(arguments.words, frame.params, sizeof frame.params);
    arguments.count = 4;
    return arguments;
  }
  for (int count = kWaitArguments; count > 0; count -= 2) {
    uint32_t got = 0;
    if (target.Read(frame.returnSlot + 4, arguments.words, 4 * count, &got, true) && got == 4u * count) {
      arguments.count = count;
      return arguments;
    }
  }
  return arguments;
}

bool ThreadInTable(const CTarget& target, uint32_t id) {
  for (const CThreadContext& thread : target.threads()) {
    if (thread.threadId == id) return true;
  }
  return false;
}

bool ReadWords(const CTarget& target, uint32_t address, uint32_t* words, uint32_t count) {
  uint32_t got = 0;
  return address != 0 && target.Read(address, words, 4 * count, &got, true) && got == 4 * count;
}

// LockCount, RecursionCount and OwningThread tell the state; Windows' bit encoding of
// LockCount and Wine's count agree that a section with an owning thread is held.
void ReadSection(const CTarget& target, ThreadWait* wait) {
  uint32_t fields[kSectionSize / 4];
  wait->section = SectionState::kUnreadable;
  if ((wait->address & 3) != 0 || !ReadWords(target, wait->address, fields, kSectionSize / 4)) return;
  const int32_t recursion = static_cast<int32_t>(fields[2]);
  const uint32_t owner = fields[3];
  if (recursion < 0 || recursion > static_cast<int32_t>(kMaxRecursion)) return;
  wait->recursion = recursion;
  wait->owner = owner;
  if (owner == 0) {
    wait->section = SectionState::kFree;
  } else {
    wait->section = ThreadInTable(target, owner) ? SectionState::kOwned : SectionState::kOwnerExited;
  }
}

void SetTimeout(const CTarget& target, const WaitCall& call, const Arguments& arguments, ThreadWait* wait) {
  if (call.timeout == kNoArgument) return;
  const uint32_t value = arguments[call.timeout];
  if (call.timeoutForm == TimeoutForm::kMilliseconds) {
    wait->timed = value != kInfinite;
    wait->milliseconds = value;
    return;
  }
  uint32_t time[2];
  // Null waits for ever; a time from now is negative, in 100 ns units. An absolute time, or a
  // pointer that reads as none (a frame whose words are another call's), says nothing.
  if (value == 0) return;
  if (!ReadWords(target, value, time, 2)) {
    wait->durationUnknown = true;
    return;
  }
  const int64_t units = static_cast<int64_t>((static_cast<uint64_t>(time[1]) << 32) | time[0]);
  if (units > 0) {
    wait->durationUnknown = true;
    return;
  }
  const uint64_t ms = static_cast<uint64_t>(-(units / 10000));
  wait->timed = true;
  wait->milliseconds = ms > 0xFFFFFFFEu ? 0xFFFFFFFEu : static_cast<uint32_t>(ms);
}

WaitedObject Describe(const CTarget& target, uint32_t handle) {
  WaitedObject object;
  object.handle = handle;
  TargetHandle facts;
  if (!DescribeTargetHandle(target.process(), handle, &facts)) {
    object.error = facts.error;
    return object;
  }
  object.type = facts.type;
  object.name = facts.name;
  object.threadId = facts.threadId;
  object.processId = facts.processId;
  object.ownerKnown = facts.ownerKnown;
  object.owner = facts.owner;
  return object;
}

bool AllOf(const WaitCall& call, uint32_t value) {
  switch (call.allForm) {
    case AllForm::kBoolean:
      return value != 0;
    case AllForm::kNtWaitType:
      return value == 0;
    case AllForm::kWaitAllFlag:
      return (value & 1) != 0;
    case AllForm::kAny:
      break;
  }
  return false;
}

// Of one or several handles. False when the arguments cannot be had.
bool ReadObjects(const CTarget& target, const WaitCall& call, const Arguments& arguments, ThreadWait* wait) {
  uint32_t handles[kMaxWaitObjects];
  uint32_t count = 1;
  if (call.kind == WaitCallKind::kObject) {
    handles[0] = arguments[call.object];
  } else {
    count = arguments[call.count];
    if (count > kMaxWaitObjects) return false;
    if (count == 0) {
      wait->state = ThreadState::kMessages;  // a message wait with no object
      return true;
    }
    if (!ReadWords(target, arguments[call.object], handles, count)) return false;
    if (call.all != kNoArgument) wait->all = AllOf(call, arguments[call.all]);
  }
  for (uint32_t i = 0; i < count; ++i) wait->objects.push_back(Describe(target, handles[i]));
  return true;
}

void ReadWindow(const CTarget& target, ThreadWait* wait) {
  uint32_t thread = 0, process = 0;
  wait->windowKnown = WindowOwner(wait->address, &thread, &process);
  wait->owner = thread;
  wait->windowProcess = process != target.processId() ? process : 0;
}

bool FillWait(const CTarget& target, const WaitCall& call, const Arguments& arguments, ThreadWait* wait) {
  if (!arguments.Has(call.object) || !arguments.Has(call.count) || !arguments.Has(call.all) ||
      !arguments.Has(call.timeout) || !arguments.Has(call.message)) {
    return false;
  }
  if (call.object != kNoArgument) wait->address = arguments[call.object];
  SetTimeout(target, call, arguments, wait);
  switch (call.kind) {
    case WaitCallKind::kCriticalSection:
      wait->state = ThreadState::kCriticalSection;
      ReadSection(target, wait);
      return true;
    case WaitCallKind::kObject:
    case WaitCallKind::kObjects:
      wait->state = ThreadState::kObjects;
      return ReadObjects(target, call, arguments, wait);
    case WaitCallKind::kSleep:
      wait->state = ThreadState::kSleeps;
      return true;
    case WaitCallKind::kSendMessage:
      wait->state = ThreadState::kSendMessage;
      wait->message = arguments[call.message] & 0xFFFF;
      ReadWindow(target, wait);
      return true;
    case WaitCallKind::kSrwShared:
    case WaitCallKind::kSrwExclusive:
      wait->state = ThreadState::kSrwLock;
      wait->exclusive = call.kind == WaitCallKind::kSrwExclusive;
      return true;
    case WaitCallKind::kConditionVariable:
      wait->state = ThreadState::kConditionVariable;
      return true;
    case WaitCallKind::kMessages:
      wait->state = ThreadState::kMessages;
      return true;
  }
  return false;
}

std::string Hex(const char* what, uint32_t value) {
  char text[48];
  snprintf(text, sizeof text, "%s %08x", what, static_cast<unsigned>(value));
  return text;
}

// The thread this one waits for, where the wait names one.
WaitEdge EdgeOf(const ThreadWait& wait) {
  WaitEdge edge;
  edge.thread = wait.threadId;
  if (wait.state == ThreadState::kCriticalSection && wait.section == SectionState::kOwned) {
    edge = {wait.threadId, true, wait.owner, Hex("critical section", wait.address)};
  } else if (wait.state == ThreadState::kObjects && wait.objects.size() == 1 && wait.objects[0].error == 0) {
    const WaitedObject& object = wait.objects[0];
    if (object.type == "Thread") edge = {wait.threadId, true, object.threadId, Hex("thread handle", object.handle)};
    if (object.type == "Mutant" && object.ownerKnown && object.owner != 0) {
      edge = {wait.threadId, true, object.owner, Hex("mutex", object.handle)};
    }
  } else if (wait.state == ThreadState::kSendMessage && wait.windowKnown && wait.windowProcess == 0) {
    edge = {wait.threadId, true, wait.owner, Hex("window", wait.address)};
  }
  return edge;
}

// Where the stack leaves a mutex's owner unknown, the platform's traversal may know it.
void AskTraversal(std::unique_ptr<CWaitChainTraversal>& traversal, ThreadWait* wait) {
  if (wait->state != ThreadState::kObjects || wait->objects.size() != 1) return;
  WaitedObject& object = wait->objects[0];
  if (object.error != 0 || object.type != "Mutant" || object.ownerKnown) return;
  if (!traversal) traversal.reset(new CWaitChainTraversal());
  uint32_t holder = 0;
  if (traversal->Holder(wait->threadId, &holder)) {
    object.ownerKnown = true;
    object.owner = holder;
  }
}

// The slot above a system call's frame that holds its return address once more: where the
// wrapper that made the call keeps its own.
bool WrapperSlot(const CTarget& target, const FrameRecord& frame, uint32_t* slot) {
  constexpr uint32_t kWords = 8;
  uint32_t words[kWords];
  if (frame.returnSlot == 0 || frame.returnAddress == 0 || !ReadWords(target, frame.returnSlot + 4, words, kWords)) {
    return false;
  }
  for (uint32_t i = 0; i < kWords; ++i) {
    if (words[i] != frame.returnAddress) continue;
    *slot = frame.returnSlot + 4 + 4 * i;
    return true;
  }
  return false;
}

}  // namespace

std::vector<std::vector<FrameRecord>> WalkThreads(const CTarget& target) {
  std::vector<std::vector<FrameRecord>> all;
  for (const CThreadContext& thread : target.threads()) {
    std::vector<FrameRecord> frames;
    CFrameWalk walk(target, thread);
    FrameRecord frame;
    while (walk.Next(&frame)) frames.push_back(frame);
    all.push_back(frames);
  }
  return all;
}

ThreadWait DescribeWait(const CTarget& target, const CThreadContext& thread, const std::vector<FrameRecord>& frames) {
  ThreadWait wait;
  wait.threadId = thread.threadId;
  const WaitCall* call = nullptr;
  const size_t at = OutermostWait(target, frames, &call);
  if (at < frames.size()) {
    FrameRecord from = frames[at];
    // Wine's Sleep, WaitForSingleObject and SendMessageW reach the system call without a
    // frame the walker shows: the wrapper's return address then stands again a few words
    // above the system call's own, and the wrapper's arguments follow it; they are read in
    // the wrapper's form.
    const WaitCall* wrapper = call->wrapper != nullptr ? FindWaitCall(call->wrapper) : nullptr;
    uint32_t slot = 0;
    if (wrapper != nullptr && WrapperSlot(target, frames[at], &slot)) {
      call = wrapper;
      from.returnSlot = slot;
    }
    if (FillWait(target, *call, ReadArguments(target, from), &wait)) return wait;
    wait = ThreadWait();
    wait.threadId = thread.threadId;
    wait.state = ThreadState::kArgumentsUnreadable;
    wait.function = FunctionText(target, frames[at].pc);
    return wait;
  }
  uint32_t suspended = 0;
  if (SuspendCount(thread.hThread, &suspended) && suspended > 0) {
    wait.state = ThreadState::kSuspended;
    return wait;
  }
  wait.function = FunctionText(target, thread.eip);
  return wait;
}

void WriteWaitChains(const ReportContext& context, const std::vector<std::vector<FrameRecord>>& frames) {
  CReportOutput& report = context.report;
  const CTarget& target = context.target;
  report.Print("%s", kWaitChainsHeading);
  std::unique_ptr<CWaitChainTraversal> traversal;
  std::vector<WaitEdge> edges;
  for (size_t i = 0; i < target.threads().size() && i < frames.size(); ++i) {
    ThreadWait wait = DescribeWait(target, target.threads()[i], frames[i]);
    AskTraversal(traversal, &wait);
    report.Print("%s\r\n", WaitLine(wait).c_str());
    edges.push_back(EdgeOf(wait));
  }
  for (const std::string& line : DeadlockLines(edges)) {
    report.Print("%s\r\n", line.c_str());
    report.Log("%s", line.c_str());
  }
  report.Print("\r\n");
}
