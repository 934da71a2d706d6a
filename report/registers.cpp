#include "report/registers.h"

#include <stddef.h>

namespace {

// CONTEXT fields by register index; -1 where an index names nothing.
constexpr int kNone = -1;
#define CONTEXT_FIELD(name) static_cast<int>(offsetof(CONTEXT, name))
constexpr int kContextFieldByIndex[26] = {
    CONTEXT_FIELD(SegGs),  // 0
    CONTEXT_FIELD(SegFs),  // 1
    CONTEXT_FIELD(SegEs),  // 2
    CONTEXT_FIELD(SegDs),  // 3
    CONTEXT_FIELD(Edi),    // 4
    CONTEXT_FIELD(Esi),    // 5
    CONTEXT_FIELD(Ebx),    // 6
    CONTEXT_FIELD(Edx),    // 7
    CONTEXT_FIELD(Ecx),    // 8
    CONTEXT_FIELD(Eax),    // 9
    CONTEXT_FIELD(Ebp),    // 10
    CONTEXT_FIELD(Eip),    // 11
    CONTEXT_FIELD(SegCs),  // 12
    CONTEXT_FIELD(EFlags), // 13
    CONTEXT_FIELD(Esp),    // 14
    CONTEXT_FIELD(SegSs),  // 15
    kNone, kNone, kNone, kNone,  // 16..19
    CONTEXT_FIELD(Dr0),    // 20
    CONTEXT_FIELD(Dr1),    // 21
    CONTEXT_FIELD(Dr2),    // 22
    CONTEXT_FIELD(Dr3),    // 23
    CONTEXT_FIELD(Dr6),    // 24
    CONTEXT_FIELD(Dr7),    // 25
};
#undef CONTEXT_FIELD

constexpr uint32_t kReturnAddressIndex = 42;
constexpr uint32_t kFirstFieldIndex = 100;

struct RegisterField {
  uint32_t baseIndex;
  uint32_t shift;
  uint32_t mask;
};

constexpr RegisterField kRegisterFields[] = {
    {4, 0, 0xffff},   // 100 di
    {5, 0, 0xffff},   // 101 si
    {6, 0, 0xffff},   // 102 bx
    {7, 0, 0xffff},   // 103 dx
    {8, 0, 0xffff},   // 104 cx
    {9, 0, 0xffff},   // 105 ax
    {10, 0, 0xffff},  // 106 bp
    {11, 0, 0xffff},  // 107 ip
    {13, 0, 0xffff},  // 108 low 16 bits of the flags
    {14, 0, 0xffff},  // 109 sp
    {6, 0, 0xff},     // 110 bl
    {7, 0, 0xff},     // 111 dl
    {8, 0, 0xff},     // 112 cl
    {9, 0, 0xff},     // 113 al
    {6, 8, 0xff},     // 114 bh
    {7, 8, 0xff},     // 115 dh
    {8, 8, 0xff},     // 116 ch
    {9, 8, 0xff},     // 117 ah
    {13, 12, 0x3},    // 118 IOPL
    {13, 11, 0x1},    // 119 OF
    {13, 10, 0x1},    // 120 DF
    {13, 9, 0x1},     // 121 IF
    {13, 8, 0x1},     // 122 TF
    {13, 7, 0x1},     // 123 SF
    {13, 6, 0x1},     // 124 ZF
    {13, 4, 0x1},     // 125 AF
    {13, 2, 0x1},     // 126 PF
    {13, 0, 0x1},     // 127 CF
    {13, 20, 0x1},    // 128 VIP
    {13, 19, 0x1},    // 129 VIF
};
static_assert(sizeof kRegisterFields / sizeof kRegisterFields[0] == 30, "one row per index 100..129");

uint32_t ContextValue(const CONTEXT& context, uint32_t index) {
  if (index >= sizeof kContextFieldByIndex / sizeof kContextFieldByIndex[0]) return 0;
  int offset = kContextFieldByIndex[index];
  if (offset == kNone) return 0;
  uint32_t value;
  memcpy(&value, reinterpret_cast<const char*>(&context) + offset, sizeof value);
  return value;
}

// Index 42: the word above the saved frame pointer, the return address of a standard frame.
uint64_t ReturnAddressAboveFrame(const CTarget& target, const CThreadContext& thread) {
  uint32_t words[2] = {0, 0};
  uint32_t count = 0;
  if (!target.Read(thread.context.Ebp, words, sizeof words, &count, true) || count < sizeof words) return 0;
  return words[1];
}

}  // namespace

uint64_t RegisterValue(const CTarget& target, const CThreadContext& thread, uint32_t index) {
  if (index < kFirstFieldIndex) {
    if (index == kReturnAddressIndex) return ReturnAddressAboveFrame(target, thread);
    return ContextValue(thread.context, index);
  }
  uint32_t row = index - kFirstFieldIndex;
  if (row >= sizeof kRegisterFields / sizeof kRegisterFields[0]) return 0;
  const RegisterField& field = kRegisterFields[row];
  return (RegisterValue(target, thread, field.baseIndex) >> field.shift) & static_cast<uint64_t>(field.mask);
}

void WriteRegisters(const ReportContext& context, const CThreadContext& thread) {
  CReportOutput& report = context.report;
  const CTarget& target = context.target;
  auto value = [&](uint32_t index) { return static_cast<unsigned long>(RegisterValue(target, thread, index)); };
  auto flag = [&](uint32_t index, const char* set, const char* clear) {
    return RegisterValue(target, thread, index) != 0 ? set : clear;
  };
  report.Print("eax=%08lx ebx=%08lx ecx=%08lx edx=%08lx esi=%08lx edi=%08lx\r\n", value(9), value(6), value(8),
                value(7), value(5), value(4));
  report.Print("eip=%08lx esp=%08lx ebp=%08lx iopl=%1lx %s %s %s %s %s %s %s %s %s %s\r\n", value(11), value(14),
                value(10), value(118), flag(128, "vip", "   "), flag(129, "vif", "   "), flag(119, "ov", "nv"),
                flag(120, "dn", "up"), flag(121, "ei", "di"), flag(123, "ng", "pl"), flag(124, "zr", "nz"),
                flag(125, "ac", "na"), flag(126, "po", "pe"), flag(127, "cy", "nc"));
  report.Print("cs=%04lx  ss=%04lx  ds=%04lx  es=%04lx  fs=%04lx  gs=%04lx             efl=%08lx\r\n", value(12),
                value(15), value(3), value(2), value(1), value(0), value(13));
  report.Print("\r\n\r\n");
}
