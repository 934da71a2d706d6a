#include "session/report_output.h"

#include <stdarg.h>
#include <stdio.h>

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

constexpr size_t kReportWriteBytes = 64 * 1024;

}  // namespace

void CReportOutput::WriteReportText(const char* text, size_t length) {
  pendingText.append(text, length);
  if (pendingText.size() >= kReportWriteBytes) FlushReportText();
}

void CReportOutput::FlushReportText() {
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

void CReportOutput::Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  WriteReportText(text.data(), text.size());
}

void CReportOutput::Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  if (textPane.appendLine) textPane.appendLine(textPane.context, text.c_str());
}
