// The dump session: owns the report file (its output) and the options, knows the target once
// attaching has produced the process-creation event, holds the thread and module tables, and
// runs the debug loop. The report's sections see only its ReportContext: its output (Print,
// Log), the target view over the rest (ReadTargetMemory and the other reads, the tables, the
// symbols) and the options.
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
#include "session/platform.h"
#include "session/report_context.h"
#include "session/report_output.h"
#include "session/symbol_service.h"
#include "session/target.h"
#include "session/target_memory.h"
#include "session/text_pane.h"
#include "session/thread_context.h"

// When and how the session creates its report file.
enum class ReportCreation {
  kAtOnce,       // by the constructor, replacing a file of that name
  kAfterAttach,  // only once the attach has succeeded, replacing a file of that name: a failed
                 // attach leaves an existing file as it was
  kAfterAttachNew,  // only once the attach has succeeded, and never over an existing file
};

class CLogFile : public CReportOutput {
 public:
  DumpOptions options;
  std::string targetPath;
  HANDLE process;
  uint32_t processId;
  // Every read of the target, through one cache of its pages.
  CTargetMemory memory;
  // What the modules' images say: where their code lies (for telling return addresses from
  // other stack words), where their functions likely start, what they export. Before symbols,
  // which answers from its export tables.
  CModuleImages moduleImages;
  // The symbol handler and the export tables, asked by value.
  CSymbolService symbols;
  std::vector<CThreadContext> threads;
  std::vector<CModule> modules;
  // Instruction boundaries of the modules' code, for listings around addresses without a symbol.
  CCodeBoundaries codeBoundaries;
  // The target as the report's readers see it: a view over the fields above.
  CTarget target;
  // What the report's sections work with: the session's output, its target view, its options.
  operator ReportContext() { return ReportContext{*this, target, options}; }

  // What became of the dump, for the companion's exit status.
  uint32_t reportsWritten = 0;   // reports WriteReport has finished
  bool eventWaitFailed = false;  // the event loop ended on a failed or timed-out wait
  // The report was not made: its file could not be created, the names of its region files
  // cannot be represented, or region files or the minidump of an earlier dump beside it
  // could not be removed.
  bool reportRefused = false;
  // A keep-running step failed: the target may not be left as it was.
  bool keepRunningFailed = false;

  uint32_t eventThreadId = 0;    // the thread of the debug event being handled
  // The report at hand is for an exception other than the attach breakpoint: it gets the
  // exception section.
  bool reportShowsException = false;

  bool minidumpTried = false;    // one minidump per session: the moment of the first report
  bool minidumpFailed = false;   // it was asked for and is not there in full

  CLogFile(const wchar_t* reportFileName, TextPane& pane, ReportCreation creation = ReportCreation::kAtOnce);
  CLogFile(const char* reportFileName, TextPane& pane);  // an ANSI name, as CreateFileA takes it
  ~CLogFile();
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;

  // The bytes of the stopped target, by the retry rule of CTargetMemory::Read.
  bool ReadTargetMemory(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve);

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

 private:
  void OpenSession(const std::wstring& reportFileName);
  void CloseSession();
  // After a refusal that came once the attach had succeeded: the target goes on as before.
  void LeaveTargetRunning(uint32_t targetProcessId);
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
};
