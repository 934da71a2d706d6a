#include "report/frame_walk.h"

#include <string.h>

#include "report/call_site.h"
#include "session/code_sections.h"
#include "session/symbol_lookup.h"

namespace {

CStackWalkOwner* currentOwner = nullptr;

// How far above the scanned slot a kept frame pointer may lie: the default stack reserve.
constexpr uint32_t kStackReach = 0x100000;
constexpr uint32_t kPageSize = 4096;

// The routines every thread starts in: the stack above their frames holds nothing of the
// program's, so no scan goes past them.
const char* const kThreadStarts[] = {"BaseThreadInitThunk", "RtlUserThreadStart", "_RtlUserThreadStart",
                                     "__RtlUserThreadStart", "BaseProcessStart", "BaseThreadStart"};

void SetFlat(ADDRESS& address, uint32_t offset) {
  address.Offset = offset;
  address.Mode = AddrModeFlat;
}

// The look-ups the walk makes for its own decisions leave the session's symbol buffer as it
// was, so that the frame line reads the flags of its own look-up as before.
class CSymbolBufferKeeper {
 public:
  explicit CSymbolBufferKeeper(CLogFile& session) : buffer(session.symbolBuffer) {
    if (buffer != nullptr) memcpy(saved, buffer, sizeof saved);
  }
  ~CSymbolBufferKeeper() {
    if (buffer != nullptr) memcpy(buffer, saved, sizeof saved);
  }
  CSymbolBufferKeeper(const CSymbolBufferKeeper&) = delete;
  CSymbolBufferKeeper& operator=(const CSymbolBufferKeeper&) = delete;

 private:
  PIMAGEHLP_SYMBOL buffer;
  uint8_t saved[kSymbolBufferSize];
};

}  // namespace

CStackWalkOwner::CStackWalkOwner(CLogFile& owned) : session(owned), outer(currentOwner) { currentOwner = this; }

CStackWalkOwner::~CStackWalkOwner() { currentOwner = outer; }

CLogFile* CStackWalkOwner::SessionFor(HANDLE process) {
  for (CStackWalkOwner* owner = currentOwner; owner != nullptr; owner = owner->outer) {
    if (owner->session.process == process) return &owner->session;
  }
  return nullptr;
}

BOOL WINAPI StackReadMemory(HANDLE process, DWORD address, PVOID buffer, DWORD size, PDWORD bytesRead) {
  CLogFile* session = CStackWalkOwner::SessionFor(process);
  uint32_t count = 0;
  const bool ok = session != nullptr && session->ReadTargetMemory(address, buffer, size, &count, true);
  if (bytesRead != nullptr) *bytesRead = count;
  return ok ? TRUE : FALSE;
}

PVOID WINAPI StackFunctionTable(HANDLE process, DWORD address) {
  CLogFile* session = CStackWalkOwner::SessionFor(process);
  return session != nullptr ? SymFunctionTableAccess(session->process, address) : nullptr;
}

DWORD WINAPI StackModuleBase(HANDLE process, DWORD address) {
  CLogFile* session = CStackWalkOwner::SessionFor(process);
  if (session == nullptr) return 0;
  IMAGEHLP_MODULE module;
  memset(&module, 0, sizeof module);
  module.SizeOfStruct = sizeof module;
  return SymGetModuleInfo(session->process, address, &module) ? module.BaseOfImage : 0;
}

DWORD WINAPI StackTranslateAddress(HANDLE, HANDLE, LPADDRESS) { return 0; }

CFrameWalk::CFrameWalk(CLogFile& owned, const CThreadContext& thread)
    : session(owned), owner(owned), context(thread.context) {
  memset(&frame, 0, sizeof frame);
  SetFlat(frame.AddrPC, thread.eip);
  SetFlat(frame.AddrFrame, thread.ebp);
  SetFlat(frame.AddrStack, thread.esp);
  floor = thread.esp;
  lastReturn = thread.eip;  // the first frame runs there
}

bool CFrameWalk::Walker() {
  return StackWalk(IMAGE_FILE_MACHINE_I386, session.process, nullptr, &frame, &context, StackReadMemory,
                   StackFunctionTable, StackModuleBase, StackTranslateAddress) != FALSE;
}

bool CFrameWalk::Next(WalkedFrame* out) {
  if (ended || produced >= kMaxFrames) return false;
  const bool fresh = walkerRestarted;
  walkerRestarted = false;
  if (!Walker()) return Unwalked(out);
  ++stats.walkerFrames;
  // A stack pointer the walker claims for the frame is only trusted upward from the floor.
  const uint32_t stack = frame.AddrStack.Offset;
  const uint32_t from = stack >= floor && stack - floor < kStackReach ? stack : floor;
  const uint32_t returnAddress = frame.AddrReturn.Offset;
  // The walker goes on from the return address it gave last; a frame at any other address
  // is not one of this stack's.
  if (!fresh && frame.AddrPC.Offset != lastReturn) {
    ++stats.rejected;
    return Unwalked(out);
  }
  CallSite site;
  if (returnAddress == 0 || CallEndsAt(session, returnAddress, &site)) {
    uint32_t slot = 0;
    const bool onStack = returnAddress != 0 && Find(returnAddress, from, &slot);
    // A walker that follows a frame pointer the code never kept returns from an outer
    // frame, skipping the frames in between. Where its return address comes after an
    // indirect call, whose target is unknown, a direct call of this frame's function below
    // that slot gives the skipped caller away; where it returns into a thread's start
    // routines, which only the outermost frames run in, any believable word below does.
    if (onStack && !site.direct && slot > from &&
        Recovered(frame.AddrPC.Offset, from, (slot - from) / 4, !IsThreadStart(returnAddress), out)) {
      ++stats.skipped;
      ++produced;
      return true;
    }
    out->frame = frame;
    out->scanned = false;
    floor = onStack ? slot + 4 : from;
    lastReturn = returnAddress;
    ++produced;
    return true;
  }
  ++stats.rejected;
  // This frame's own address is sound, only its return address is not: the frame is shown
  // with the return address the scan finds, or, when there is none, as the last one.
  if (IsThreadStart(frame.AddrPC.Offset) || !Recovered(frame.AddrPC.Offset, from, kScanWords, false, out)) {
    out->frame = frame;
    out->frame.AddrReturn.Offset = 0;
    out->scanned = false;
    ended = true;
  }
  ++produced;
  return true;
}

// The walker found no frame at the return address given last (or at the thread's EIP):
// the scan looks for that frame's return address. Where there is none, the frame is still
// shown, as the last one, with nothing known but its address; where the stack ended at an
// address of 0, or nothing of the thread could be walked, there is no such frame.
bool CFrameWalk::Unwalked(WalkedFrame* out) {
  ended = true;
  const uint32_t pc = lastReturn;
  if (pc == 0) return false;
  if (!IsThreadStart(pc) && Recovered(pc, floor, kScanWords, false, out)) {
    ++produced;
    return true;
  }
  if (produced == 0) return false;
  memset(&out->frame, 0, sizeof out->frame);
  SetFlat(out->frame.AddrPC, pc);
  SetFlat(out->frame.AddrReturn, 0);
  SetFlat(out->frame.AddrFrame, 0);
  SetFlat(out->frame.AddrStack, floor);
  out->scanned = false;
  ++produced;
  return true;
}

// The frame that runs at pc with its return address at the next believable slot from from;
// the walker then starts afresh above that slot.
bool CFrameWalk::Recovered(uint32_t pc, uint32_t from, uint32_t words, bool directOnly, WalkedFrame* out) {
  uint32_t slot = 0, returnAddress = 0;
  if (!Scan(pc, from, words, directOnly, &slot, &returnAddress)) return false;
  memset(&out->frame, 0, sizeof out->frame);
  SetFlat(out->frame.AddrPC, pc);
  SetFlat(out->frame.AddrReturn, returnAddress);
  SetFlat(out->frame.AddrFrame, slot - 4);
  SetFlat(out->frame.AddrStack, from);
  for (uint32_t i = 0; i < 4; ++i) {
    uint32_t word = 0;
    out->frame.Params[i] = ReadWord(slot + 4 + 4 * i, &word) ? word : 0;
  }
  out->scanned = true;
  Restart(returnAddress, slot + 4);
  lastReturn = returnAddress;
  floor = slot + 4;
  ended = false;
  return true;
}

void CFrameWalk::Restart(uint32_t pc, uint32_t stack) {
  // The frame pointer stays while it still points further up the same stack.
  uint32_t ebp = context.Ebp;
  if (!(ebp >= stack && ebp - stack < kStackReach)) ebp = 0;
  memset(&frame, 0, sizeof frame);
  SetFlat(frame.AddrPC, pc);
  SetFlat(frame.AddrStack, stack);
  SetFlat(frame.AddrFrame, ebp);
  context.Eip = pc;
  context.Esp = stack;
  context.Ebp = ebp;
  walkerRestarted = true;
}

bool CFrameWalk::Scan(uint32_t pc, uint32_t from, uint32_t words, bool directOnly, uint32_t* slot,
                      uint32_t* returnAddress) {
  ++stats.scans;
  uint32_t low = 0;
  bool named = false;
  const bool bounded = FunctionFloor(pc, &low, &named);
  // Without a symbol the start of pc's function is not known; but no function starts
  // between it and pc, so of the direct calls that fit, the one with the highest target is
  // the call of that function, and the others called functions below it.
  uint32_t bestTarget = 0;
  const uint32_t start = (from + 3) & ~3u;
  if (words > kScanWords) words = kScanWords;
  for (uint32_t i = 0; i < words; ++i) {
    const uint32_t at = start + 4 * i;
    uint32_t word = 0;
    if (at < start || !ReadWord(at, &word)) break;  // the top of memory, or of the stack
    ++stats.wordsScanned;
    CallSite site;
    if (!CallEndsAt(session, word, &site)) continue;
    if (!site.direct) {
      // An indirect call's target is unknown: it counts unless a fitting direct call came first.
      if (directOnly) continue;
      if (bestTarget != 0) break;
      *slot = at;
      *returnAddress = word;
      return true;
    }
    // A direct call must have called the function the frame below runs in: this rejects
    // most return addresses that earlier calls left on the stack.
    const uint32_t target = bounded ? FittingTarget(site.target, low, pc) : 0;
    if (target == 0 || target <= bestTarget) continue;
    bestTarget = target;
    *slot = at;
    *returnAddress = word;
    if (named) return true;
  }
  return bestTarget != 0;
}

bool CFrameWalk::Find(uint32_t value, uint32_t from, uint32_t* slot) {
  const uint32_t start = (from + 3) & ~3u;
  for (uint32_t i = 0; i < kScanWords; ++i) {
    const uint32_t at = start + 4 * i;
    uint32_t word = 0;
    if (at < start || !ReadWord(at, &word)) return false;
    if (word == value) {
      *slot = at;
      return true;
    }
  }
  return false;
}

// One stack word, from the page held last or from a fresh read of the rest of its page. A
// read that fails is tried once more: touching a guard page fails once and clears the guard.
bool CFrameWalk::ReadWord(uint32_t address, uint32_t* word) {
  if (address - wordsBase < wordsCount * 4 && (address & 3) == (wordsBase & 3)) {
    *word = words[(address - wordsBase) / 4];
    return true;
  }
  const uint32_t pageEnd = (address | (kPageSize - 1)) + 1;
  uint32_t size = pageEnd == 0 ? 0u - address : pageEnd - address;
  size &= ~3u;
  if (size == 0) return false;
  uint32_t count = 0;
  if (!session.ReadTargetMemory(address, words, size, &count, true) &&
      !session.ReadTargetMemory(address, words, size, &count, true)) {
    wordsCount = 0;
    return false;
  }
  wordsBase = address;
  wordsCount = count / 4;
  if (wordsCount == 0) return false;
  *word = words[0];
  return true;
}

// The lowest address at which the function that runs at pc can start: its symbol's start
// (named), or, without one, the start of its module. False: pc lies in no module.
bool CFrameWalk::FunctionFloor(uint32_t pc, uint32_t* low, bool* named) {
  const CModule* module = CCodeSections::ModuleAt(session, pc);
  if (module == nullptr) return false;
  *low = module->base;
  *named = false;
  CSymbolBufferKeeper keep(session);
  uint32_t displacement = 0;
  if (LookUpSymbolAt(session, pc, &displacement) && pc - displacement - module->base < module->size) {
    *low = pc - displacement;
    *named = true;
  }
  return true;
}

// Where a direct call's target leads when it fits the frame below, which runs at pc: into
// [low, pc], since a symbol (an export above all) may lie before functions that have none.
// A target that only jumps on (an import thunk, an incremental-link stub) is followed once.
// 0 when it does not fit.
uint32_t CFrameWalk::FittingTarget(uint32_t target, uint32_t low, uint32_t pc) {
  if (target >= low && target <= pc) return target;
  uint8_t code[6];
  uint32_t count = 0;
  if (!session.ReadTargetMemory(target, code, sizeof code, &count, false) || count != sizeof code) return 0;
  uint32_t next = 0;
  if (code[0] == 0xFF && code[1] == 0x25) {
    uint32_t slotCount = 0;
    const uint32_t slot = code[2] | code[3] << 8 | code[4] << 16 | static_cast<uint32_t>(code[5]) << 24;
    if (!session.ReadTargetMemory(slot, &next, 4, &slotCount, false) || slotCount != 4) return 0;
  } else if (code[0] == 0xE9) {
    next = target + 5 + (code[1] | code[2] << 8 | code[3] << 16 | static_cast<uint32_t>(code[4]) << 24);
  }
  return next != 0 && next >= low && next <= pc ? next : 0;
}

bool CFrameWalk::IsThreadStart(uint32_t pc) {
  CSymbolBufferKeeper keep(session);
  uint32_t displacement = 0;
  if (!LookUpSymbolAt(session, pc, &displacement)) return false;
  for (const char* name : kThreadStarts) {
    if (strcmp(session.symbolBuffer->Name, name) == 0) return true;
  }
  return false;
}
