// The dump session: owns the report file and the options, knows the target once attaching
// has produced the process-creation event, holds the thread and module tables, and offers
// the three ways out: Print (report text), Log (a line in the text pane) and
// ReadTargetMemory (bytes of the stopped target).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "session/code_sections.h"
#include "session/export_table.h"
#include "session/module.h"
#include "session/page_cache.h"
#include "session/platform.h"
#include "session/text_pane.h"
#include "session/thread_context.h"

#if defined(__GNUC__)
#define TARNHOLM_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TARNHOLM_PRINTF(fmt, args)
#endif

// Room for a 1024-character symbol name behind the 24-byte IMAGEHLP_SYMBOL.
constexpr uint32_t kSymbolNameLength = 1024;
constexpr uint32_t kSymbolBufferSize = 1048;

class CLogFile {
 public:
  TextPane& textPane;
  bool symbolTableEnabled;
  bool memoryDumpEnabled;
  int32_t instructionCount;
  std::string targetPath;
  std::string reportPath;    // the report name in the ANSI code page, for the lines of the text pane
  std::wstring reportPathW;  // the report name exactly as given; the report and region files are opened by it
  HANDLE reportFile;
  HANDLE process;
  uint32_t processId;
  PIMAGEHLP_SYMBOL symbolBuffer;
  std::vector<CThreadContext> threads;
  std::vector<CModule> modules;
  // The modules' exported functions, for addresses the symbol handler knows nothing of.
  CModuleExports exports;

  // What became of the dump, for the companion's exit status.
  uint32_t reportsWritten = 0;   // reports WriteReport has finished
  bool eventWaitFailed = false;  // the event loop ended on a failed or timed-out wait
  uint32_t failedWrites = 0;     // report writes and region files not written in full
  void NoteFailedWrite() { ++failedWrites; }

  // After the first report, detach and let the target run on instead of ending it.
  bool keepRunning = false;

  // Where the modules' code lies, for telling return addresses from other stack words.
  CCodeSections codeSections;

  CLogFile(const wchar_t* reportFileName, TextPane& pane);
  CLogFile(const char* reportFileName, TextPane& pane);  // an ANSI name, as CreateFileA takes it
  ~CLogFile();
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;

  void Print(const char* format, ...) TARNHOLM_PRINTF(2, 3);
  void Log(const char* format, ...) TARNHOLM_PRINTF(2, 3);

  // Reads size bytes at address. After a failed try the request shrinks: halve keeps the
  // address and halves the size; otherwise the front moves up 8 bytes so the end stays.
  // A request of 8 bytes or fewer gets one try. bytesRead gets the count of the read that
  // succeeded (written from the start of buffer), or what the last failed try left there.
  bool ReadTargetMemory(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve);

  // One read of the platform, no retry and no cache.
  bool ReadTargetMemoryDirect(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead);
  // The same retry rule straight on the platform, leaving the cache alone: for the contents
  // of whole regions, which are read once and would only push the stack pages out.
  bool ReadTargetMemoryUncached(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve);

  // Creates the file for the committed region at base: the report name, ".", the base in
  // eight upper-case hex digits, ".bin". Logs why when it cannot, and then returns
  // INVALID_HANDLE_VALUE.
  HANDLE CreateRegionFile(uint32_t base);

  // Thread and module tables, filled from the debug events.
  void AddThread(HANDLE hThread, uint32_t threadId);
  void AddModule(const CModule& module);
  void OnProcessOrModuleEvent(const DEBUG_EVENT& event);
  static std::string BuildSymbolSearchPath();

  // Attach and debug-event loop.
  bool AttachToProcess(uint32_t targetProcessId);
  bool RunDebugLoop(uint32_t targetProcessId);

  // Serve reads of the stopped target from whole pages read once (on by default).
  void SetReadCache(bool enabled) { cacheEnabled = enabled; }
  const PageCache& readCache() const { return cache; }
  void ClearReadCache() { cache.Clear(); }
  // ReadProcessMemory calls made so far, by every path.
  uint32_t PlatformReadCount() const { return platformReads + cache.platformReads(); }

 private:
  void OpenSession(const std::wstring& reportFileName);
  void CloseSession();
  void WriteReportText(const char* text, size_t length);

  bool writeFailureLogged = false;
  bool cacheEnabled = true;
  uint32_t platformReads = 0;
  PageCache cache;
};
