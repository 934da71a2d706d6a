#include "report/raw_stack.h"

#include <new>
#include <vector>

namespace {

constexpr uint32_t kLowerRangeSize = 0x20000;  // below the stack pointer
constexpr uint32_t kUpperRangeSize = 0x4000;   // from the stack pointer up
constexpr uint32_t kBytesPerLine = 16;

char Printable(uint8_t byte) { return byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : '.'; }

void PrintDumpLine(CReportOutput& report, uint32_t address, const uint8_t* b) {
  report.Print(
      "%08x  %02x %02x %02x %02x %02x %02x %02x %02x - %02x %02x %02x %02x %02x %02x %02x %02x  "
      "%c%c%c%c%c%c%c%c%c%c%c%c%c%c%c%c\r\n",
      address, b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15],
      Printable(b[0]), Printable(b[1]), Printable(b[2]), Printable(b[3]), Printable(b[4]), Printable(b[5]),
      Printable(b[6]), Printable(b[7]), Printable(b[8]), Printable(b[9]), Printable(b[10]), Printable(b[11]),
      Printable(b[12]), Printable(b[13]), Printable(b[14]), Printable(b[15]));
}

}  // namespace

void WriteRawStack(const ReportContext& context, const CThreadContext& thread) {
  DumpStackRange(context, thread.esp - kLowerRangeSize, kLowerRangeSize, false);
  DumpStackRange(context, thread.esp, kUpperRangeSize, true);
}

void DumpStackRange(const ReportContext& context, uint32_t address, uint32_t size, bool halve) {
  CReportOutput& report = context.report;
  const CTarget& target = context.target;
  std::vector<uint8_t> buffer;
  try {
    buffer.assign(size, 0);
  } catch (const std::bad_alloc&) {
    report.Log("No memory for the raw stack dump at %08x (%u bytes)", address, size);
    return;
  }
  uint32_t count = 0;
  if (!target.Read(address, buffer.data(), size, &count, halve)) return;
  // Shrinking from the front keeps the end of the range, so the bytes start further up.
  uint32_t start = halve ? address : address + size - count;
  report.Print("*----> Raw Stack Dump %s<----*\r\n", halve ? "" : "(lower part)");
  for (uint32_t line = 0; line < count / kBytesPerLine; ++line) {
    PrintDumpLine(report, start + line * kBytesPerLine, buffer.data() + line * kBytesPerLine);
  }
  report.Print("\r\n");
}
