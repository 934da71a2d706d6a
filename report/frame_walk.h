// The frames of a thread's stack, for the back trace. The platform's walker finds them first;
// every return address it gives is checked (report/call_site.h); where the walker stops, or
// gives a return address that no call made, the stack is scanned upward for the next one
// that a call did make, and the walker goes on from there. A frame whose return address
// came from the scan says so.
#pragma once

#include <stdint.h>

#include "session/log_file.h"

// Lets the walker's callbacks, which receive only the process handle the walker was given,
// reach the session whose walk is under way. One owner at a time per session walk; nested
// owners restore the outer one.
class CStackWalkOwner {
 public:
  explicit CStackWalkOwner(CLogFile& session);
  ~CStackWalkOwner();
  CStackWalkOwner(const CStackWalkOwner&) = delete;
  CStackWalkOwner& operator=(const CStackWalkOwner&) = delete;

  // The session of the walk under way whose process is process, or null.
  static CLogFile* SessionFor(HANDLE process);

 private:
  CLogFile& session;
  CStackWalkOwner* outer;
};

// The walker's callbacks: the session's reads and symbol handler, through the owner.
BOOL WINAPI StackReadMemory(HANDLE process, DWORD address, PVOID buffer, DWORD size, PDWORD bytesRead);
PVOID WINAPI StackFunctionTable(HANDLE process, DWORD address);
DWORD WINAPI StackModuleBase(HANDLE process, DWORD address);
DWORD WINAPI StackTranslateAddress(HANDLE process, HANDLE thread, LPADDRESS address);

struct WalkedFrame {
  STACKFRAME frame;  // AddrPC, AddrReturn, AddrFrame, Params, FuncTableEntry, Reserved[0] as printed
  bool scanned;      // the return address (and the frame's words) came from the stack scan
};

// What one walk did, for the benchmark.
struct FrameWalkWork {
  uint32_t walkerFrames = 0;   // frames the platform walker gave
  uint32_t rejected = 0;       // of those, with a return address no call made
  uint32_t skipped = 0;        // of those, that skipped frames the scan found
  uint32_t scans = 0;
  uint32_t wordsScanned = 0;
};

// Bounds that keep any stack content cheap: stack words looked at per scan, and frames.
constexpr uint32_t kScanWords = 2048;
constexpr int kMaxFrames = 100;

class CFrameWalk {
 public:
  CFrameWalk(CLogFile& session, const CThreadContext& thread);
  // The next frame; false when the trace ends (at most kMaxFrames frames).
  bool Next(WalkedFrame* out);
  const FrameWalkWork& work() const { return stats; }

 private:
  bool Walker();
  bool Scan(uint32_t pc, uint32_t from, uint32_t words, bool directOnly, uint32_t* slot, uint32_t* returnAddress);
  bool Find(uint32_t value, uint32_t from, uint32_t* slot);
  bool ReadWord(uint32_t address, uint32_t* word);
  bool FunctionFloor(uint32_t pc, uint32_t* low, bool* named);
  uint32_t FittingTarget(uint32_t target, uint32_t low, uint32_t pc);
  bool IsThreadStart(uint32_t pc);
  void Restart(uint32_t pc, uint32_t stack);
  bool Recovered(uint32_t pc, uint32_t from, uint32_t words, bool directOnly, WalkedFrame* out);
  bool Unwalked(WalkedFrame* out);

  CLogFile& session;
  CStackWalkOwner owner;
  CONTEXT context;
  STACKFRAME frame;
  int produced = 0;
  bool ended = false;
  bool walkerRestarted = true;  // the walker's next frame is the first of a fresh start
  uint32_t lastReturn = 0;      // the return address of the frame given last
  uint32_t floor = 0;           // the next frame's return address lies at or above this
  // The stack words last read: one page, so that a scan reads each page once.
  uint32_t wordsBase = 1;  // unaligned: nothing held
  uint32_t wordsCount = 0;
  uint32_t words[1024];
  FrameWalkWork stats;
};
