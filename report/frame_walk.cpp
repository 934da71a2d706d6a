#include "report/frame_walk.h"

#include <string.h>

#include <algorithm>
#include <string>

#include "disasm/instruction.h"
#include "report/call_site.h"
#include "session/module_image.h"
#include "session/symbol_service.h"

namespace {

CStackWalkOwner* currentOwner = nullptr;

// How far above the scanned slot a kept frame pointer may lie: the default stack reserve.
constexpr uint32_t kStackReach = 0x100000;

// The routines every thread starts in: the stack above their frames holds nothing of the
// program's, so no scan goes past them.
const char* const kThreadStarts[] = {"BaseThreadInitThunk", "RtlUserThreadStart", "_RtlUserThreadStart",
                                     "__RtlUserThreadStart", "BaseProcessStart", "BaseThreadStart"};
// The system's own modules, by the directory they load from: a callback's frames above
// one of them are the program's again.
const char* const kSystemDirectories[] = {"\\windows\\system32\\", "\\windows\\syswow64\\"};
// How many regions of the thread's stack allocation are looked at for its end.
constexpr int kStackRegions = 16;

void SetFlat(ADDRESS& address, uint32_t offset) {
  address.Offset = offset;
  address.Mode = AddrModeFlat;
}

}  // namespace

CStackWalkOwner::CStackWalkOwner(const CTarget& walked) : target(walked), outer(currentOwner) { currentOwner = this; }

CStackWalkOwner::~CStackWalkOwner() { currentOwner = outer; }

const CTarget* CStackWalkOwner::TargetFor(HANDLE process) {
  for (CStackWalkOwner* owner = currentOwner; owner != nullptr; owner = owner->outer) {
    if (owner->target.process() == process) return &owner->target;
  }
  return nullptr;
}

BOOL WINAPI StackReadMemory(HANDLE process, DWORD address, PVOID buffer, DWORD size, PDWORD bytesRead) {
  const CTarget* target = CStackWalkOwner::TargetFor(process);
  uint32_t count = 0;
  const bool ok = target != nullptr && target->Read(address, buffer, size, &count, true);
  if (bytesRead != nullptr) *bytesRead = count;
  return ok ? TRUE : FALSE;
}

PVOID WINAPI StackFunctionTable(HANDLE process, DWORD address) {
  const CTarget* target = CStackWalkOwner::TargetFor(process);
  return target != nullptr ? SymFunctionTableAccess(target->process(), address) : nullptr;
}

DWORD WINAPI StackModuleBase(HANDLE process, DWORD address) {
  const CTarget* target = CStackWalkOwner::TargetFor(process);
  if (target == nullptr) return 0;
  IMAGEHLP_MODULE module;
  memset(&module, 0, sizeof module);
  module.SizeOfStruct = sizeof module;
  return SymGetModuleInfo(target->process(), address, &module) ? module.BaseOfImage : 0;
}

DWORD WINAPI StackTranslateAddress(HANDLE, HANDLE, LPADDRESS) { return 0; }

CFrameWalk::CFrameWalk(const CTarget& walked, const CThreadContext& thread)
    : stopped(walked), owner(walked), context(thread.context), pc(thread.eip), floor(thread.esp), ebp(thread.ebp) {
  memset(&frame, 0, sizeof frame);
  SetFlat(frame.AddrPC, thread.eip);
  SetFlat(frame.AddrFrame, thread.ebp);
  SetFlat(frame.AddrStack, thread.esp);
  stackEnd = StackEnd(thread.esp);
}

bool CFrameWalk::Walker() {
  return StackWalk(IMAGE_FILE_MACHINE_I386, stopped.process(), nullptr, &frame, &context, StackReadMemory,
                   StackFunctionTable, StackModuleBase, StackTranslateAddress) != FALSE;
}

bool CFrameWalk::Next(FrameRecord* out) {
  if (ended || produced >= kMaxFrames || pc == 0) return false;
  const bool threadStart = IsThreadStart(pc);
  if ((walkerLive && FromWalker(out)) || (!threadStart && FromFramePointer(out)) ||
      (!threadStart && FromScan(kScanWords, false, 0, out)) || LastFrame(out)) {
    ++produced;
    return true;
  }
  return false;
}

// The walker's next frame: the one it gave ahead, or a fresh one.
bool CFrameWalk::NextWalkerFrame(STACKFRAME* out) {
  if (havePending) {
    *out = pending;
    havePending = false;
    return true;
  }
  if (!Walker()) return false;
  *out = frame;
  return true;
}

// The walker's frame at pc, when its return address is one a call made and lies higher up
// the stack than the frame before's. The walker gives each frame with the stack pointer it
// had on entry, so the slot of a frame's return address is known from the frame after it:
// the walker is asked one frame ahead.
bool CFrameWalk::FromWalker(FrameRecord* out) {
  const bool fresh = walkerFresh;
  walkerFresh = false;
  STACKFRAME current;
  if (!NextWalkerFrame(&current)) {
    walkerLive = false;
    return false;
  }
  ++stats.walkerFrames;
  const uint32_t returnAddress = current.AddrReturn.Offset;
  const uint32_t stack = current.AddrStack.Offset;
  // The walker goes on from the return address given last; a frame at any other address
  // is not one of this stack's. A frame whose stack does not rise above the frame before,
  // with the same return address, is no progress.
  const bool stalled = !fresh && stack <= lastWalkerStack && returnAddress == lastWalkerReturn;
  CallSite call;
  if ((!fresh && current.AddrPC.Offset != pc) || stalled ||
      (returnAddress != 0 && !CallEndsAt(stopped, returnAddress, &call))) {
    return RejectWalker();
  }
  lastWalkerStack = stack;
  lastWalkerReturn = returnAddress;
  const uint32_t from = stack >= floor && stack < stackEnd ? stack : floor;
  uint32_t nextStack = 0;
  uint32_t nextEbp = static_cast<uint32_t>(context.Ebp);
  if (returnAddress != 0 && Walker()) {
    pending = frame;
    havePending = true;
    nextStack = pending.AddrStack.Offset;
    nextEbp = pending.AddrFrame.Offset;
  }
  uint32_t slot = 0;
  if (returnAddress != 0 && !WalkerSlot(returnAddress, from, nextStack, &slot)) return RejectWalker();
  if (returnAddress == 0) return WalkerEnd(current, out);
  // A walker that follows a frame pointer the program's code never kept returns from an
  // outer frame, skipping the frames in between; a direct call below that slot gives the
  // skip away. The system's modules come with their own unwind data.
  if ((!call.direct() || !Fits(call, pc)) && !IsSystemModule(pc) && CloserCallBelow(slot, returnAddress, out)) {
    ++stats.skipped;
    return true;
  }
  Fill(slot, returnAddress, current.AddrFrame.Offset, ebp, call, FrameSource::Unwind, out);
  out->fpo = static_cast<const FPO_DATA*>(current.FuncTableEntry);
  out->savedEbp = current.Reserved[0];
  MoveTo(*out, nextEbp, false);
  return true;
}

// The walker says the stack ends with this frame; its own words are all there is.
bool CFrameWalk::WalkerEnd(const STACKFRAME& last, FrameRecord* out) {
  Fill(0, 0, ebp, ebp, CallSite(), FrameSource::Unwind, out);
  out->framePointer = last.AddrFrame.Offset;
  for (int i = 0; i < 4; ++i) out->params[i] = last.Params[i];
  out->fpo = static_cast<const FPO_DATA*>(last.FuncTableEntry);
  out->savedEbp = last.Reserved[0];
  ended = true;
  return true;
}

bool CFrameWalk::RejectWalker() {
  ++stats.rejected;
  walkerLive = false;
  havePending = false;
  return false;
}

// Where the walker's return address lies: just below the stack the walker's next frame
// starts with, or else the first place from the frame's own stack up that holds it.
bool CFrameWalk::WalkerSlot(uint32_t returnAddress, uint32_t from, uint32_t nextStack, uint32_t* slot) {
  const uint32_t named = nextStack - 4;
  uint32_t word = 0;
  if (nextStack != 0 && (named & 3) == 0 && named >= from && named < stackEnd && ReadWord(named, &word) &&
      word == returnAddress) {
    *slot = named;
    return true;
  }
  return Find(returnAddress, from, slot);
}

// The frame whose EBP points up the same stack at a saved EBP and a believable return
// address; a direct call there must have called the function the frame runs in.
bool CFrameWalk::FromFramePointer(FrameRecord* out) {
  const uint32_t slot = ebp + 4;
  uint32_t saved = 0, returnAddress = 0;
  CallSite call;
  if ((ebp & 3) != 0 || slot < floor || slot >= stackEnd || !ReadWord(ebp, &saved) ||
      !ReadWord(slot, &returnAddress) || returnAddress == 0 || !CallEndsAt(stopped, returnAddress, &call) ||
      !Fits(call, pc)) {
    return false;
  }
  // EBP may be an outer frame's, kept from before functions that never set it.
  if (!call.direct() && CloserCallBelow(slot, returnAddress, out)) return true;
  ++stats.framePointer;
  Fill(slot, returnAddress, ebp, ebp, call, FrameSource::FramePointer, out);
  MoveTo(*out, saved, true);
  return true;
}

// Between the floor and a slot whose call is indirect, a direct call of the function the
// frame runs in is the frame's true caller. Where the slot returns into a thread's start
// routines, which only the outermost frames run in, any believable word below it is; and
// where a frame of the program returns into a system DLL, which calls the program only
// back through pointers, so is an indirect call below it: the DLL's own frame in between.
bool CFrameWalk::CloserCallBelow(uint32_t slot, uint32_t returnAddress, FrameRecord* out) {
  // Below a thread's start routines there are only their own frames; a copy of the return
  // address below its slot (a realigned stack keeps one) is no other frame.
  if (slot <= floor || IsThreadStart(pc)) return false;
  const bool callback = IsSystemModule(returnAddress) && !IsSystemModule(pc);
  return FromScan((slot - floor) / 4, !IsThreadStart(returnAddress) && !callback, returnAddress, out);
}

// The frame at pc with its return address at the next believable slot from the floor; the
// walker then starts afresh above that slot.
bool CFrameWalk::FromScan(uint32_t words, bool directOnly, uint32_t exclude, FrameRecord* out) {
  uint32_t slot = 0, returnAddress = 0;
  CallSite call;
  if (!Scan(floor, words, directOnly, exclude, &slot, &returnAddress, &call)) return false;
  Fill(slot, returnAddress, ebp, ebp, call, FrameSource::Scan, out);
  // The frame pointer stays while it still points further up the same stack.
  const uint32_t nextEbp = ebp >= slot + 4 && ebp < stackEnd ? ebp : 0;
  MoveTo(*out, nextEbp, true);
  return true;
}

// Nothing finds this frame's return address: it is still shown, as the last one, with
// nothing known but its address; when nothing of the thread could be walked, there is no
// such frame.
bool CFrameWalk::LastFrame(FrameRecord* out) {
  ended = true;
  if (produced == 0) return false;
  *out = FrameRecord();
  out->pc = pc;
  return true;
}

void CFrameWalk::Fill(uint32_t slot, uint32_t returnAddress, uint32_t walkerEbp, uint32_t frameEbp,
                      const CallSite& call, FrameSource source, FrameRecord* out) {
  *out = FrameRecord();
  out->pc = pc;
  out->returnAddress = returnAddress;
  out->returnSlot = slot;
  out->source = source;
  out->call = call;
  if (slot == 0) return;
  // The frame keeps EBP as its frame pointer when EBP lies in the frame and the word above
  // it is the return address (a copy of it, where the prologue realigned the stack). The
  // walker's frame address and the EBP the frame runs with are the candidates.
  out->framePointer = slot - 4;
  for (uint32_t candidate : {frameEbp, walkerEbp}) {
    uint32_t above = 0;
    if ((candidate & 3) == 0 && candidate >= floor && candidate < slot && ReadWord(candidate + 4, &above) &&
        above == returnAddress) {
      out->framePointer = candidate;
      break;
    }
  }
  for (uint32_t i = 0; i < 4; ++i) {
    uint32_t word = 0;
    out->params[i] = ReadWord(slot + 4 + 4 * i, &word) ? word : 0;
  }
}

void CFrameWalk::MoveTo(const FrameRecord& taken, uint32_t nextEbp, bool restartWalker) {
  pc = taken.returnAddress;
  floor = taken.returnSlot + 4;
  ebp = nextEbp;
  if (!restartWalker) return;
  memset(&frame, 0, sizeof frame);
  SetFlat(frame.AddrPC, pc);
  SetFlat(frame.AddrStack, floor);
  SetFlat(frame.AddrFrame, ebp);
  context.Eip = pc;
  context.Esp = floor;
  context.Ebp = ebp;
  walkerLive = true;
  walkerFresh = true;
  havePending = false;
}

// The end of the thread's stack: the end of the last region of the allocation that holds
// the stack pointer. No frame of this thread lies above it.
uint32_t CFrameWalk::StackEnd(uint32_t esp) {
  const uint32_t fallback = 0u - esp > kStackReach ? esp + kStackReach : 0u - 4;
  MEMORY_BASIC_INFORMATION info;
  if (!stopped.QueryRegion(esp, &info)) return fallback;
  const uintptr_t allocation = reinterpret_cast<uintptr_t>(info.AllocationBase);
  uint32_t end = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize);
  for (int i = 0; i < kStackRegions && end != 0; ++i) {
    if (!stopped.QueryRegion(end, &info) ||
        reinterpret_cast<uintptr_t>(info.AllocationBase) != allocation || info.State == MEM_FREE) {
      break;
    }
    end = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize);
  }
  return end != 0 ? end : 0u - 4;
}

// What is known of the function a frame runs in, for judging its callers.
CFrameWalk::Callee CFrameWalk::CalleeAt(uint32_t runs) {
  Callee callee;
  callee.runs = runs;
  callee.bounded = FunctionFloor(runs, &callee.low, &callee.likely);
  callee.inSystem = IsSystemModule(runs);
  return callee;
}

// How a stack word stands as the return address of callee's frame. A direct call must have
// called the function the frame runs in: this rejects most return addresses that earlier
// calls left on the stack. A call of that function's likely start, or the frame's own
// address again (a recursion), settles it; a direct call of a function below it only fits.
// A system DLL's frame may have been entered from the program through a call of another
// function of that DLL (a thunk, a tail call): any call into that module at or below the
// frame's address may stand for it. An indirect call's target is unknown.
CFrameWalk::Caller CFrameWalk::Judge(const Callee& callee, uint32_t word, CallSite* site, uint32_t* target) {
  if (!CallEndsAt(stopped, word, site)) return Caller::None;
  if (!site->direct()) return Caller::Indirect;
  *target = callee.bounded ? FittingTarget(site->target, callee.low, callee.runs) : 0;
  if (*target == 0 && callee.inSystem && !IsSystemModule(word)) {
    *target = FittingTarget(site->target, ModuleLow(callee.runs), callee.runs);
  }
  if (*target == 0) return Caller::None;
  return *target == callee.likely || word == callee.runs ? Caller::Settles : Caller::Fits;
}

// The start may not be known; but no function starts between it and the frame's address,
// so of the direct calls that only fit, the one with the highest target is the call of that
// function, and the others called functions below it. An indirect call counts unless a
// fitting direct call came first, or a settling one comes after it.
bool CFrameWalk::Scan(uint32_t from, uint32_t words, bool directOnly, uint32_t exclude, uint32_t* slot,
                      uint32_t* returnAddress, CallSite* call) {
  ++stats.scans;
  const Callee callee = CalleeAt(pc);
  uint32_t bestTarget = 0;
  bool indirect = false;
  const uint32_t start = (from + 3) & ~3u;
  const uint32_t end = start + 4 * (words < kScanWords ? words : kScanWords);
  for (uint32_t at = start; at != end; at += 4) {
    uint32_t word = 0;
    if (at < start || at >= stackEnd || !ReadWord(at, &word)) break;  // the top of memory, or of the stack
    ++stats.wordsScanned;
    CallSite site;
    uint32_t target = 0;
    const Caller caller = word == exclude ? Caller::None : Judge(callee, word, &site, &target);
    if (caller == Caller::None || (caller == Caller::Indirect && (directOnly || indirect))) continue;
    if (caller == Caller::Indirect && bestTarget != 0) break;
    if (caller == Caller::Fits && (indirect || target <= bestTarget)) continue;
    bestTarget = caller == Caller::Indirect ? bestTarget : target;
    indirect = indirect || caller == Caller::Indirect;
    *slot = at;
    *returnAddress = word;
    *call = site;
    if (caller == Caller::Settles) {
      LaterSettling(callee, at + 4, end, slot, returnAddress, call);
      return true;
    }
  }
  return bestTarget != 0 || indirect;
}

// A settling call may be stale: a call of the same function that an earlier caller left.
// Where another one settles further up and the frame the first would make finds no caller
// of its own up to there, one of the two lies in the other's caller's frame: the one whose
// own caller comes sooner above both is taken.
void CFrameWalk::LaterSettling(const Callee& callee, uint32_t from, uint32_t end, uint32_t* slot,
                               uint32_t* returnAddress, CallSite* call) {
  for (uint32_t at = from; at != end && at < stackEnd; at += 4) {
    uint32_t word = 0, target = 0;
    CallSite site;
    if (!ReadWord(at, &word)) return;
    if (Judge(callee, word, &site, &target) != Caller::Settles) continue;
    if (FirstCaller(*returnAddress, *slot + 4, at + 4) <= at) return;
    const uint32_t first = FirstCaller(*returnAddress, at + 4, end), later = FirstCaller(word, at + 4, end);
    if (later < first) {
      *slot = at;
      *returnAddress = word;
      *call = site;
    }
    return;
  }
}

// The first slot in [from, to) that holds a believable return address of a frame running
// at runs (a settling direct call, or an indirect one), or 0xFFFFFFFF.
uint32_t CFrameWalk::FirstCaller(uint32_t runs, uint32_t from, uint32_t to) {
  const Callee callee = CalleeAt(runs);
  for (uint32_t at = from; at < to && at < stackEnd; at += 4) {
    uint32_t word = 0, target = 0;
    CallSite site;
    if (!ReadWord(at, &word)) break;
    const Caller caller = Judge(callee, word, &site, &target);
    if (caller == Caller::Settles || caller == Caller::Indirect) return at;
  }
  return 0xFFFFFFFFu;
}

bool CFrameWalk::Find(uint32_t value, uint32_t from, uint32_t* slot) {
  const uint32_t start = (from + 3) & ~3u;
  for (uint32_t i = 0; i < kScanWords; ++i) {
    const uint32_t at = start + 4 * i;
    uint32_t word = 0;
    if (at < start || at >= stackEnd || !ReadWord(at, &word)) return false;
    if (word == value) {
      *slot = at;
      return true;
    }
  }
  return false;
}

// One stack word, from the target's cached pages: a scan reads each page once.
bool CFrameWalk::ReadWord(uint32_t address, uint32_t* word) { return stopped.ReadExactly(address, word, 4); }

// The lowest address at which the function that runs at at can start, and where it most
// likely starts: a named symbol's start gives both; without one (or with only an export,
// which may lie far below), the start of its module and the nearest direct-call target at
// or below at. False: at lies in no module.
bool CFrameWalk::FunctionFloor(uint32_t at, uint32_t* low, uint32_t* likelyStart) {
  const CModule* module = stopped.ModuleAt(at);
  if (module == nullptr) return false;
  *low = module->base;
  *likelyStart = 0;
  // The walk's own decisions leave the flags the frame line reads as they were.
  CSymbol symbol;
  if (stopped.symbols().LookUpQuietly(at, &symbol) && symbol.address - module->base < module->size) {
    *low = symbol.address;
    *likelyStart = *low;
    if (!symbol.fromExports) return true;
  }
  uint32_t target = 0;
  if (stopped.images().FunctionStartAtOrBelow(at, &target) && target >= *low) *likelyStart = target;
  return true;
}

uint32_t CFrameWalk::ModuleLow(uint32_t at) {
  const CModule* module = stopped.ModuleAt(at);
  return module != nullptr ? module->base : at;
}

// Whether a call can have called the function that runs at at: an indirect one always can.
bool CFrameWalk::Fits(const CallSite& call, uint32_t at) {
  if (!call.direct()) return true;
  uint32_t low = 0, likely = 0;
  return FunctionFloor(at, &low, &likely) && FittingTarget(call.target, low, at) != 0;
}

// Where a direct call's target leads when it fits the frame below, which runs at at: into
// [low, at], since a symbol (an export above all) may lie before functions that have none.
// A target that only jumps on is followed once: an import thunk (jmp through an address,
// FF 25) or an incremental-link stub (jmp rel32, E9). 0 when it does not fit.
uint32_t CFrameWalk::FittingTarget(uint32_t target, uint32_t low, uint32_t at) {
  if (target >= low && target <= at) return target;
  uint8_t code[6];
  uint32_t count = 0;
  if (!stopped.Read(target, code, sizeof code, &count, false) || count != sizeof code) return 0;
  disasm::Instruction jump;
  if (!disasm::DecodeRecord(code, sizeof code, target, &jump) || jump.flow != disasm::Flow::kJump || jump.prefixed ||
      jump.farTarget) {
    return 0;
  }
  uint32_t next = 0;
  const disasm::MemoryOperand& slot = jump.memory[0];
  if (jump.indirect && jump.memoryCount == 1 && slot.base == disasm::kNoRegister && slot.index == disasm::kNoRegister) {
    uint32_t slotCount = 0;
    if (!stopped.Read(slot.displacement, &next, 4, &slotCount, false) || slotCount != 4) return 0;
  } else if (!jump.indirect && jump.length == 5) {  // not a short jump, EB
    next = jump.target;
  }
  return next != 0 && next >= low && next <= at ? next : 0;
}

bool CFrameWalk::IsThreadStart(uint32_t at) {
  CSymbol symbol;
  if (!stopped.symbols().LookUpQuietly(at, &symbol)) return false;
  for (const char* name : kThreadStarts) {
    if (symbol.name == name) return true;
  }
  return false;
}

bool CFrameWalk::IsSystemModule(uint32_t at) {
  const CModule* module = stopped.ModuleAt(at);
  if (module == nullptr) return false;
  std::string path = module->name;
  std::transform(path.begin(), path.end(), path.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
  for (const char* directory : kSystemDirectories) {
    if (path.find(directory) != std::string::npos) return true;
  }
  return false;
}
