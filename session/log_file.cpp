#include "session/log_file.h"

#include "session/ansi_text.h"

CLogFile::CLogFile(const wchar_t* reportFileName, TextPane& pane, ReportCreation when)
    : CReportOutput(pane),
      process(nullptr),
      processId(0),
      memory(process),
      moduleImages(modules, memory, pane),
      symbols(process, moduleImages),
      target(process, processId, memory, threads, modules, symbols, moduleImages, codeBoundaries),
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
  memory.Clear();
}

bool CLogFile::ReadTargetMemory(uint32_t address, void* buffer, uint32_t size, uint32_t* bytesRead, bool halve) {
  return memory.Read(address, buffer, size, bytesRead, halve);
}
