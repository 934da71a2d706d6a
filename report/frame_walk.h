// The frames of a thread's stack, for the back trace. The platform's walker finds them first;
// every return address it gives is checked (report/call_site.h); where the walker stops,
// gives a return address that no call made, or makes no progress up the stack, the saved-EBP
// chain is tried, then the stack is scanned upward for the next return address that a call
// did make, and the walker goes on from there. A frame whose return address came from the
// scan says so.
#pragma once

#include <stdint.h>

#include "report/call_site.h"
#include "session/target.h"

// Lets the walker's callbacks, which receive only the process handle the walker was given,
// reach the target whose walk is under way. One owner per walk; nested owners restore the
// outer one.
class CStackWalkOwner {
 public:
  explicit CStackWalkOwner(const CTarget& target);
  ~CStackWalkOwner();
  CStackWalkOwner(const CStackWalkOwner&) = delete;
  CStackWalkOwner& operator=(const CStackWalkOwner&) = delete;

  // The target of the walk under way whose process is process, or null.
  static const CTarget* TargetFor(HANDLE process);

 private:
  const CTarget& target;
  CStackWalkOwner* outer;
};

// The walker's callbacks: the target's reads and symbol handler, through the owner.
BOOL WINAPI StackReadMemory(HANDLE process, DWORD address, PVOID buffer, DWORD size, PDWORD bytesRead);
PVOID WINAPI StackFunctionTable(HANDLE process, DWORD address);
DWORD WINAPI StackModuleBase(HANDLE process, DWORD address);
DWORD WINAPI StackTranslateAddress(HANDLE process, HANDLE thread, LPADDRESS address);

// How a frame was found.
enum class FrameSource : uint8_t {
  Unwind,        // the platform's walker, from the module's unwind data or its own rules
  FramePointer,  // the saved-EBP chain: EBP points up the stack to a believable return address
  Scan,          // the stack scan, whose frames the frame line marks
};

// One frame of a back trace: what its frame line prints and what the listing after it
// starts from.
struct FrameRecord {
  uint32_t pc = 0;             // where the frame runs
  uint32_t returnAddress = 0;  // 0: the trace ends with this frame
  uint32_t returnSlot = 0;     // the stack word that holds returnAddress; 0 when not known
  uint32_t framePointer = 0;   // the frame's EBP where it keeps one, else the word below the slot
  uint32_t params[4] = {};     // the four words above the slot: the arguments the caller pushed
  FrameSource source = FrameSource::Unwind;
  CallSite call;               // the call that made returnAddress, as the check found it
  const FPO_DATA* fpo = nullptr;
  uint32_t savedEbp = 0;       // of an FPO frame that uses EBP for itself
  bool scanned() const { return source == FrameSource::Scan; }
};

// What one walk did, for the benchmark.
struct FrameWalkWork {
  uint32_t walkerFrames = 0;   // frames the platform walker gave
  uint32_t rejected = 0;       // of those, not taken: no call made the return address, or no progress
  uint32_t skipped = 0;        // of those, that skipped frames the scan found
  uint32_t framePointer = 0;   // frames from the saved-EBP chain
  uint32_t scans = 0;
  uint32_t wordsScanned = 0;
};

// Bounds that keep any stack content cheap: stack words looked at per scan, and frames.
constexpr uint32_t kScanWords = 2048;
constexpr int kMaxFrames = 100;

// The frames of one thread, innermost first. For each frame the platform's walker is asked
// first, then the saved-EBP chain, then the scan; every return address taken lies higher
// on the stack than the one before, so no frame comes twice and the walk ends.
class CFrameWalk {
 public:
  CFrameWalk(const CTarget& target, const CThreadContext& thread);
  // The next frame; false when the trace ends (at most kMaxFrames frames).
  bool Next(FrameRecord* out);
  const FrameWalkWork& work() const { return stats; }

 private:
  bool FromWalker(FrameRecord* out);
  bool FromFramePointer(FrameRecord* out);
  bool FromScan(uint32_t words, bool directOnly, uint32_t exclude, FrameRecord* out);
  bool CloserCallBelow(uint32_t slot, uint32_t returnAddress, FrameRecord* out);
  bool NextWalkerFrame(STACKFRAME* out);
  bool WalkerEnd(const STACKFRAME& last, FrameRecord* out);
  bool RejectWalker();
  bool WalkerSlot(uint32_t returnAddress, uint32_t from, uint32_t nextStack, uint32_t* slot);
  void Fill(uint32_t slot, uint32_t returnAddress, uint32_t walkerEbp, uint32_t frameEbp, const CallSite& call,
            FrameSource source, FrameRecord* out);
  bool LastFrame(FrameRecord* out);
  void MoveTo(const FrameRecord& taken, uint32_t nextEbp, bool restartWalker);
  bool Walker();
  bool Scan(uint32_t from, uint32_t words, bool directOnly, uint32_t exclude, uint32_t* slot, uint32_t* returnAddress,
            CallSite* call);
  struct Callee {
    uint32_t runs = 0;  // where the frame runs
    bool bounded = false;
    uint32_t low = 0;
    uint32_t likely = 0;
    bool inSystem = false;
  };
  enum class Caller : uint8_t { None, Indirect, Fits, Settles };
  Callee CalleeAt(uint32_t runs);
  Caller Judge(const Callee& callee, uint32_t word, CallSite* site, uint32_t* target);
  void LaterSettling(const Callee& callee, uint32_t from, uint32_t end, uint32_t* slot, uint32_t* returnAddress,
                     CallSite* call);
  uint32_t FirstCaller(uint32_t runs, uint32_t from, uint32_t to);
  bool Find(uint32_t value, uint32_t from, uint32_t* slot);
  bool ReadWord(uint32_t address, uint32_t* word);
  bool FunctionFloor(uint32_t at, uint32_t* low, uint32_t* likelyStart);
  bool Fits(const CallSite& call, uint32_t at);
  uint32_t ModuleLow(uint32_t at);
  uint32_t FittingTarget(uint32_t target, uint32_t low, uint32_t at);
  bool IsThreadStart(uint32_t at);
  bool IsSystemModule(uint32_t at);
  uint32_t StackEnd(uint32_t esp);

  const CTarget& stopped;
  CStackWalkOwner owner;
  CONTEXT context;   // the walker's
  STACKFRAME frame;  // the walker's
  bool walkerLive = true;
  bool walkerFresh = true;  // the walker's next frame is the first of a fresh start
  STACKFRAME pending;       // the walker's frame after the one given last, asked ahead
  bool havePending = false;
  uint32_t lastWalkerStack = 0;
  uint32_t lastWalkerReturn = 0;
  // Where the next frame stands: it runs at pc, its return address lies at or above floor
  // and below stackEnd, and ebp is the EBP it runs with.
  uint32_t pc;
  uint32_t floor;
  uint32_t ebp;
  uint32_t stackEnd;
  int produced = 0;
  bool ended = false;
  FrameWalkWork stats;
};
