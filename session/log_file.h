// The dump session: owns the report file and the options, knows the target once attaching
// has produced the process-creation event, holds the thread and module tables, and offers
// the three ways out: Print (report text), Log (a line in the text pane) and
// ReadTargetMemory (bytes of the stopped target).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "session/code_boundaries.h"
#include "session/debug_events.h"
#include "session/dump_options.h"
#include "session/dump_phase.h"
#include "session/module.h"
#include "session/module_image.h"
#include "session/page_cache.h"
#include "session/platform.h"
#include "session/symbol_service.h"
#include "session/target.h"
#include "session/text_pane.h"
#include "session/thread_context.h"

#if defined(__GNUC__)
#define TARNHOLM_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TARNHOLM_PRINTF(fmt, args)
#endif

// When and how the session creates its report file.
enum class ReportCreation {
  kAtOnce,       // by the constructor, replacing a file of that name
  kAfterAttach,  // only once the attach has succeeded, replacing a file of that name: a failed
                 // attach leaves an existing file as it was
  kAfterAttachNew,  // only once the attach has succeeded, and never over an existing file
};

class CLogFile {
 public:
  TextPane& textPane;
  DumpOptions options;
  std::string targetPath;
  std::string reportPath;    // the report name in the ANSI code page, for the lines of the text pane
  std::wstring reportPathW;  // the report name exactly as given; the report and region files are opened by it
  HANDLE reportFile;
  HANDLE process;
  uint32_t processId;
  // What the modules' images say: where their code lies (for telling return addresses from
  // other stack words), where their functions likely start, what they export. Before symbols,
  // which answers from its export tables.
  CModuleImages moduleImages;
  // The symbol handler and the export tables, asked by value.
  CSymbolService symbols;
  std::vector<CThreadContext> threads;
  std::vector<CModule> modules;
  // The target as the report's readers see it: a view over the fields above.
  CTarget target;

  // What became of the dump, for the companion's exit status.
  uint32_t reportsWritten = 0;   // reports WriteReport has finished
  bool eventWaitFailed = false;  // the event loop ended on a failed or timed-out wait
  uint32_t failedWrites = 0;     // report writes and region files not written in full
  void NoteFailedWrite() { ++failedWrites; }
  bool memoryWalkCut = false;    // the memory walk ended early on a failed query
  void NoteMemoryWalkCut() { memoryWalkCut = true; }
  // The report was not made: its file could not be created, the names of its region files
  // cannot be represented, or region files or the minidump of an earlier dump beside it
  // could not be removed.
  bool reportRefused = false;
  // A keep-running step failed: the target may not be left as it was.
  bool keepRunningFailed = false;

  // Instruction boundaries of those sections, for listings around addresses without a symbol.
  CCodeBoundaries codeBoundaries;

  uint32_t eventThreadId = 0;    // the thread of the debug event being handled
  // The report at hand is for an exception other than the attach breakpoint: it gets the
  // exception section.
  bool reportShowsException = false;

  // Told of each step of the dump as it ends; nobody by default.
  DumpPhaseSink phaseSink;
  void NotePhase(DumpPhase phase) {
    if (phaseSink.onPhase != nullptr) phaseSink.onPhase(phaseSink.context, phase);
  }
  void NoteRegion(uint32_t base, uint32_t size) {
    if (phaseSink.onRegion != nullptr) phaseSink.onRegion(phaseSink.context, base, size);
  }
  bool minidumpTried = false;    // one minidump per session: the moment of the first report
  bool minidumpFailed = false;   // it was asked for and is not there in full

  CLogFile(const wchar_t* reportFileName, TextPane& pane, ReportCreation creation = ReportCreation::kAtOnce);
  CLogFile(const char* reportFileName, TextPane& pane);  // an ANSI name, as CreateFileA takes it
  ~CLogFile();
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;

  // Report text is kept in memory and written in large pieces (one write per line was a
  // good share of a report's time); it reaches the file at the latest when the report is
  // complete, before every region file and when the session closes.
  void Print(const char* format, ...) TARNHOLM_PRINTF(2, 3);
  void FlushReportText();
  void Log(const char* format, ...) TARNHOLM_PRINTF(2, 3);

  // Reads size bytes at address. After a failed try the request shrinks: halve keeps the
  // address and halves the size; otherwise the front moves up 8 bytes so the end stays.
  // A request of 8 bytes or fewer gets one try. bytesRead gets the count of the read that
  // succeeded (written from the start of buffer), or what the last failed try left there.
  bool ReadTargetMemory(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve);

  // The plain reads, both through the session's one cache of target pages: the bytes from
  // address on that can be read (their count), and exactly size bytes or false. keep false is
  // for bytes the reader holds itself, read once (a module's code, a region's contents): they
  // are read straight, in one platform read for ReadTargetExactly.
  uint32_t ReadTargetPrefix(uint32_t address, void* buffer, uint32_t size, bool keep = true);
  bool ReadTargetExactly(uint32_t address, void* buffer, uint32_t size, bool keep = true);
  // The same retry rule straight on the platform, leaving the cache alone: for the contents
  // of whole regions, which are read once and would only push the stack pages out.
  bool ReadTargetMemoryUncached(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve);

  // Creates the file for the committed region at base: the report name, ".", the base in
  // eight upper-case hex digits, ".bin". Logs why when it cannot, and then returns
  // INVALID_HANDLE_VALUE.
  HANDLE CreateRegionFile(uint32_t base);

  // Before the attach: the full path of the report, with the longest region file name's
  // suffix, must fit the platform's path limit when memory is dumped. Logs why not.
  bool CheckRegionFileNames();
  // After the attach, before the report: region files of an earlier dump beside the report
  // are removed (one line says how many), or the dump is refused (a line names the file).
  bool RemoveEarlierRegionFiles();
  // The same for REPORT.dmp of an earlier dump: this dump writes its own or none, and a
  // minidump of another moment must not pass for this one.
  bool RemoveEarlierMinidump();
  // Creates the report file as creation asks; logs why it cannot.
  bool CreateReportFile();

  // Thread and module tables, filled from the debug events.
  void AddThread(HANDLE hThread, uint32_t threadId);
  // The thread has exited: its record goes. Its handle is the system's, which closes it when
  // the exit event is continued; a record kept would later read a dead or reused handle.
  void RemoveThread(uint32_t threadId);
  void AddModule(const CModule& module);
  void UnloadModule(uint32_t base);  // the latest loaded record at base is marked unloaded
  void OnProcessOrModuleEvent(const DEBUG_EVENT& event);
  static std::string BuildSymbolSearchPath();

  // Attach and debug-event loop. The loop keeps the tables and continues or detaches; the
  // report (which also ends the target) is a listener that whoever runs the loop adds.
  bool AttachToProcess(uint32_t targetProcessId);
  bool RunDebugLoop(uint32_t targetProcessId);
  // The other way in: starts a program as the debuggee of this thread (standard handles
  // inherited; commandLine as the program's CommandLineToArgvW is to split it) and keeps
  // its process id. False with the platform's error in *error, after a line.
  bool LaunchProcess(const std::wstring& program, const std::wstring& commandLine, DWORD* error);
  // The loop for the program LaunchProcess started; its loader breakpoint plays the attach
  // breakpoint's part.
  bool RunLaunchedDebugLoop();
  // Before the report file exists: the name it is to have (for a default name that holds
  // the process id, known only once the program is started).
  void RenameReport(const std::wstring& reportFileName);
  void AddListener(const DebugEventListener& listener) { listeners.push_back(listener); }

  // Serve reads of the stopped target from whole pages read once (on by default).
  void SetReadCache(bool enabled) { cacheEnabled = enabled; }
  const PageCache& readCache() const { return cache; }
  void ClearReadCache() { cache.Clear(); }
  // ReadProcessMemory calls made so far, by every path.
  uint32_t PlatformReadCount() const { return platformReads + cache.platformReads(); }

 private:
  void OpenSession(const std::wstring& reportFileName);
  void CloseSession();
  // After a refusal that came once the attach had succeeded: the target goes on as before.
  void LeaveTargetRunning(uint32_t targetProcessId);
  void WriteReportText(const char* text, size_t length);
  // The read paths of the target view and the module images: the retry read, the readable
  // front of a range, exactly a range.
  static bool ReadThrough(void* context, uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead,
                          bool halve);
  static bool ReadReadableFront(void* context, uint32_t address, void* buffer, uint32_t size, uint32_t* count);
  static bool ReadExactRange(void* context, uint32_t address, void* buffer, uint32_t size, bool keep);
  bool ReadStraight(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead);
  void HandOn(DebugEventListener::Callback DebugEventListener::*which, const DEBUG_EVENT& event);
  // The files of a report, as creation asks: removing an earlier dump's, creating the report.
  bool PrepareReportFiles();
  bool RunEvents(uint32_t targetProcessId);
  // What an exception event does; the continue status.
  DWORD OnException(const DEBUG_EVENT& event);
  bool IsReportMoment(const DEBUG_EVENT& event, bool attachBreakpoint) const;
  void WriteCrashReport(const DEBUG_EVENT& event);
  // Hands the exception to the listeners and ends the target when a report came of it.
  void ReportAndEnd(const DEBUG_EVENT& event);
  void SignalAttached();
  void NoteExitWithoutReport(const DEBUG_EVENT& event);

  std::vector<DebugEventListener> listeners;

  ReportCreation creation = ReportCreation::kAtOnce;
  bool attachBreakpointTaken = false;  // the first breakpoint after the process creation
  bool targetEnding = false;           // the crash report is written: no further one
  bool launched = false;               // the target was started by LaunchProcess
  bool writeFailureLogged = false;
  std::string pendingText;  // printed, not yet written
  bool cacheEnabled = true;
  uint32_t platformReads = 0;
  PageCache cache;
};
