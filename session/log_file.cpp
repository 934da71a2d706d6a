#include "session/log_file.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "session/ansi_text.h"

namespace {

// Formats into a text of exactly the needed length: nothing is ever cut.
std::string FormatText(const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  int length = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (length < 0) return std::string();
  if (static_cast<size_t>(length) < sizeof small) return std::string(small, static_cast<size_t>(length));
  std::string text(static_cast<size_t>(length), '\0');
  vsnprintf(&text[0], text.size() + 1, format, args);
  return text;
}

}  // namespace

CLogFile::CLogFile(const wchar_t* reportFileName, TextPane& pane, ReportCreation when)
    : textPane(pane),
      reportFile(INVALID_HANDLE_VALUE),
      process(nullptr),
      processId(0),
      moduleImages(modules,
                   ImageReads{&CLogFile::ReadReadableFront, &CLogFile::ReadExactRange, &CLogFile::ReadThrough, this},
                   pane),
      symbols(process, moduleImages),
      target(process, TargetReadPath{&CLogFile::ReadThrough, this}, threads, modules, symbols),
      creation(when) {
  OpenSession(reportFileName ? reportFileName : L"");
}

CLogFile::CLogFile(const char* reportFileName, TextPane& pane)
    : CLogFile(WideFromAnsi(reportFileName ? reportFileName : "").c_str(), pane) {}

CLogFile::~CLogFile() { CloseSession(); }

void CLogFile::OpenSession(const std::wstring& reportFileName) {
  reportPathW = reportFileName;
  reportPath = AnsiForDisplay(reportPathW);
  if (creation == ReportCreation::kAtOnce) CreateReportFile();
}

bool CLogFile::CreateReportFile() {
  // By the wide name: one the ANSI code page cannot hold is still the file created. A name
  // of the tool's own choosing never replaces a file.
  const DWORD disposition = creation == ReportCreation::kAfterAttachNew ? CREATE_NEW : CREATE_ALWAYS;
  reportFile = CreateFileW(reportPathW.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (reportFile == INVALID_HANDLE_VALUE) {
    Log("File:%s creation failed (%d)", reportPath.c_str(), static_cast<int>(GetLastError()));
    reportRefused = true;
    return false;
  }
  symbols.Enable();
  return true;
}

void CLogFile::CloseSession() {
  FlushReportText();
  if (reportFile != INVALID_HANDLE_VALUE) CloseHandle(reportFile);
  reportFile = INVALID_HANDLE_VALUE;
  symbols.Release();
  moduleImages.Clear();
  modules.clear();
  threads.clear();
  cache.Clear();
}

namespace {

constexpr size_t kReportWriteBytes = 64 * 1024;

}  // namespace

void CLogFile::WriteReportText(const char* text, size_t length) {
  pendingText.append(text, length);
  if (pendingText.size() >= kReportWriteBytes) FlushReportText();
}

void CLogFile::FlushReportText() {
  if (pendingText.empty()) return;
  const size_t length = pendingText.size();
  DWORD written = 0;
  BOOL ok = WriteFile(reportFile, pendingText.data(), static_cast<DWORD>(length), &written, nullptr);
  pendingText.clear();
  if (ok && written == length) return;
  NoteFailedWrite();
  if (!writeFailureLogged) {
    // Said once: every later line would fail the same way.
    writeFailureLogged = true;
    Log("Write to report %s failed (e=%d)", reportPath.c_str(), static_cast<int>(GetLastError()));
  }
}

void CLogFile::Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  WriteReportText(text.data(), text.size());
}

void CLogFile::Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  if (textPane.appendLine) textPane.appendLine(textPane.context, text.c_str());
}

bool CLogFile::ReadTargetMemory(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve) {
  uint32_t ignored = 0;
  if (bytesRead == nullptr) bytesRead = &ignored;
  if (cacheEnabled && size > 0 && size <= PageCache::kLargestRequest) {
    return cache.ReadWithRetry(process, address, buffer, size, bytesRead, halve);
  }
  return ReadTargetMemoryUncached(address, buffer, size, bytesRead, halve);
}

bool CLogFile::ReadTargetMemoryUncached(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead,
                                        bool halve) {
  uint32_t ignored = 0;
  if (bytesRead == nullptr) bytesRead = &ignored;
  for (;;) {
    if (ReadStraight(address, buffer, size, bytesRead)) return true;
    if (size <= 8) return false;
    if (halve) {
      size /= 2;
    } else {
      address += 8;
      size -= 8;
    }
  }
}

bool CLogFile::ReadStraight(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead) {
  ++platformReads;
  SIZE_T count = 0;
  BOOL ok = ReadProcessMemory(process, TargetPointer(address), buffer, size, &count);
  *bytesRead = static_cast<uint32_t>(count);
  return ok != FALSE;
}

uint32_t CLogFile::ReadTargetPrefix(uint32_t address, void* buffer, uint32_t size, bool keep) {
  if (cacheEnabled) return cache.ReadPrefix(process, address, buffer, size, keep);
  // Without the cache nothing is kept from one read to the next: a fresh one serves the read.
  PageCache single;
  const uint32_t count = single.ReadPrefix(process, address, buffer, size, keep);
  platformReads += single.platformReads();
  return count;
}

bool CLogFile::ReadTargetExactly(uint32_t address, void* buffer, uint32_t size, bool keep) {
  if (cacheEnabled) return cache.ReadExactly(process, address, buffer, size, keep);
  PageCache single;
  const bool ok = single.ReadExactly(process, address, buffer, size, keep);
  platformReads += single.platformReads();
  return ok;
}

bool CLogFile::ReadReadableFront(void* context, uint32_t address, void* buffer, uint32_t size, uint32_t* count) {
  *count = static_cast<CLogFile*>(context)->ReadTargetPrefix(address, buffer, size);
  return *count > 0;
}

bool CLogFile::ReadExactRange(void* context, uint32_t address, void* buffer, uint32_t size, bool keep) {
  return static_cast<CLogFile*>(context)->ReadTargetExactly(address, buffer, size, keep);
}

bool CLogFile::ReadThrough(void* context, uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead,
                           bool halve) {
  return static_cast<CLogFile*>(context)->ReadTargetMemory(address, buffer, size, bytesRead, halve);
}
