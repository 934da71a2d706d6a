#include "report/exception_section.h"

#include <stdio.h>
#include <string.h>

#include "session/symbol_service.h"

namespace {

struct NamedCode {
  uint32_t code;
  const char* name;
};

// The codes a reader meets, by the platform's names.
constexpr NamedCode kExceptionNames[] = {
    {0x80000001, "EXCEPTION_GUARD_PAGE"},
    {0x80000002, "EXCEPTION_DATATYPE_MISALIGNMENT"},
    {0x80000003, "EXCEPTION_BREAKPOINT"},
    {0x80000004, "EXCEPTION_SINGLE_STEP"},
    {0xC0000005, "EXCEPTION_ACCESS_VIOLATION"},
    {0xC0000006, "EXCEPTION_IN_PAGE_ERROR"},
    {0xC0000008, "EXCEPTION_INVALID_HANDLE"},
    {0xC000001D, "EXCEPTION_ILLEGAL_INSTRUCTION"},
    {0xC0000025, "EXCEPTION_NONCONTINUABLE_EXCEPTION"},
    {0xC0000026, "EXCEPTION_INVALID_DISPOSITION"},
    {0xC000008C, "EXCEPTION_ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008D, "EXCEPTION_FLT_DENORMAL_OPERAND"},
    {0xC000008E, "EXCEPTION_FLT_DIVIDE_BY_ZERO"},
    {0xC000008F, "EXCEPTION_FLT_INEXACT_RESULT"},
    {0xC0000090, "EXCEPTION_FLT_INVALID_OPERATION"},
    {0xC0000091, "EXCEPTION_FLT_OVERFLOW"},
    {0xC0000092, "EXCEPTION_FLT_STACK_CHECK"},
    {0xC0000093, "EXCEPTION_FLT_UNDERFLOW"},
    {0xC0000094, "EXCEPTION_INT_DIVIDE_BY_ZERO"},
    {0xC0000095, "EXCEPTION_INT_OVERFLOW"},
    {0xC0000096, "EXCEPTION_PRIV_INSTRUCTION"},
    {0xC00000FD, "EXCEPTION_STACK_OVERFLOW"},
    {0xC000013A, "CONTROL_C_EXIT"},
    {0xE06D7363, "C++ exception"},
};

constexpr bool SortedAndUnique(size_t i = 1) {
  return i >= sizeof kExceptionNames / sizeof kExceptionNames[0] ||
         (kExceptionNames[i - 1].code < kExceptionNames[i].code && SortedAndUnique(i + 1));
}
static_assert(SortedAndUnique(), "one name per code, in code order");
static_assert(sizeof kExceptionNames / sizeof kExceptionNames[0] == 24, "the table's size is checked by its tests");
#ifdef _WIN32
static_assert(kExceptionNames[4].code == EXCEPTION_ACCESS_VIOLATION, "EXCEPTION_ACCESS_VIOLATION");
static_assert(kExceptionNames[5].code == EXCEPTION_IN_PAGE_ERROR, "EXCEPTION_IN_PAGE_ERROR");
static_assert(kExceptionNames[7].code == EXCEPTION_ILLEGAL_INSTRUCTION, "EXCEPTION_ILLEGAL_INSTRUCTION");
static_assert(kExceptionNames[18].code == EXCEPTION_INT_DIVIDE_BY_ZERO, "EXCEPTION_INT_DIVIDE_BY_ZERO");
static_assert(kExceptionNames[21].code == EXCEPTION_STACK_OVERFLOW, "EXCEPTION_STACK_OVERFLOW");
static_assert(kExceptionNames[2].code == EXCEPTION_BREAKPOINT, "EXCEPTION_BREAKPOINT");
#endif

constexpr uint32_t kAccessViolation = 0xC0000005;
constexpr uint32_t kInPageError = 0xC0000006;

// The record as the target's memory holds it.
struct TargetRecord {
  uint32_t code;
  uint32_t flags;
  uint32_t nested;
  uint32_t address;
  uint32_t parameterCount;
  uint32_t parameters[kMostExceptionParameters];
};
static_assert(sizeof(TargetRecord) == 80, "the i386 EXCEPTION_RECORD");

std::string Hex8(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
  return text;
}

std::string CodeText(uint32_t code) {
  const char* name = ExceptionName(code);
  return name != nullptr ? Hex8(code) + " " + name : Hex8(code);
}

std::string AtText(uint32_t address, const std::string& where) {
  return "at " + Hex8(address) + (where.empty() ? "" : " " + where);
}

// What the access of an access violation or an in-page error was; empty for another kind.
std::string AccessText(const ExceptionFacts& record) {
  if (record.code != kAccessViolation && record.code != kInPageError) return std::string();
  if (record.parameterCount < 2) return std::string();
  const uint32_t address = record.parameters[1];
  std::string text;
  switch (record.parameters[0]) {
    case 0: text = "Reading from " + Hex8(address); break;
    case 1: text = "Writing to " + Hex8(address); break;
    case 8: text = "Executing at " + Hex8(address); break;
    default: return std::string();
  }
  if (record.code == kInPageError && record.parameterCount >= 3) text += " (status " + Hex8(record.parameters[2]) + ")";
  return text;
}

// The module base name and the symbol at address, as the back trace names a frame; without a
// symbol the distance from the module's base; without a module nothing.
std::string WhereText(const CTarget& target, uint32_t address) {
  IMAGEHLP_MODULE module;
  memset(&module, 0, sizeof module);
  module.SizeOfStruct = sizeof module;
  std::string moduleName;
  if (SymGetModuleInfo(target.process(), address, &module)) moduleName = module.ModuleName;
  CSymbol symbol;
  char offset[16];
  if (target.symbols().LookUp(address, &symbol)) {
    snprintf(offset, sizeof offset, "+0x%x", static_cast<unsigned>(address - symbol.address));
    return (moduleName.empty() ? "" : moduleName + "!") + symbol.name + offset;
  }
  const CModule* known = target.ModuleAt(address);
  if (known == nullptr) return std::string();
  if (moduleName.empty()) {
    moduleName = known->name.substr(known->name.find_last_of("\\/") + 1);
    moduleName = moduleName.substr(0, moduleName.rfind('.'));
  }
  snprintf(offset, sizeof offset, "+0x%x", static_cast<unsigned>(address - known->base));
  return moduleName + offset;
}

}  // namespace

ExceptionFacts FactsOf(const EXCEPTION_RECORD& record) {
  ExceptionFacts facts;
  facts.code = record.ExceptionCode;
  facts.flags = record.ExceptionFlags;
  facts.nested = TargetAddress(record.ExceptionRecord);
  facts.address = TargetAddress(record.ExceptionAddress);
  facts.parameterCount = record.NumberParameters;
  for (uint32_t i = 0; i < kMostExceptionParameters; ++i) {
    facts.parameters[i] = static_cast<uint32_t>(record.ExceptionInformation[i]);
  }
  return facts;
}

const char* ExceptionName(uint32_t code) {
  for (const NamedCode& named : kExceptionNames) {
    if (named.code == code) return named.name;
  }
  return nullptr;
}

std::string ExceptionLine(const ExceptionFacts& record, bool firstChance, uint32_t threadId, const std::string& where) {
  char thread[16];
  snprintf(thread, sizeof thread, "0x%x", static_cast<unsigned>(threadId));
  return "Exception " + CodeText(record.code) + (firstChance ? " (first chance)" : " (second chance)") +
         " in thread " + thread + " " + AtText(record.address, where);
}

std::vector<std::string> ParameterLines(const ExceptionFacts& record) {
  std::vector<std::string> lines;
  const uint32_t shown = record.parameterCount < kMostExceptionParameters ? record.parameterCount : kMostExceptionParameters;
  const std::string access = AccessText(record);
  if (!access.empty()) {
    lines.push_back(access);
  } else if (shown > 0) {
    std::string text = "Parameters:";
    for (uint32_t i = 0; i < shown; ++i) text += " " + Hex8(record.parameters[i]);
    lines.push_back(text);
  }
  if (record.parameterCount > kMostExceptionParameters) {
    char line[96];
    snprintf(line, sizeof line, "The record claims %u parameters; a record holds %u", static_cast<unsigned>(record.parameterCount),
             static_cast<unsigned>(kMostExceptionParameters));
    lines.push_back(line);
  }
  return lines;
}

std::string NestedLine(const ExceptionFacts& record, const std::string& where) {
  return "Nested exception " + CodeText(record.code) + " " + AtText(record.address, where);
}

void WriteExceptionSection(const ReportContext& context, const EXCEPTION_DEBUG_INFO& exception, uint32_t threadId) {
  CReportOutput& report = context.report;
  const CTarget& target = context.target;
  const ExceptionFacts facts = FactsOf(exception.ExceptionRecord);
  report.Print("*----> Exception <----*\r\n\r\n");
  report.Print("%s\r\n", ExceptionLine(facts, exception.dwFirstChance != 0, threadId,
                                        WhereText(target, facts.address)).c_str());
  for (const std::string& line : ParameterLines(facts)) report.Print("%s\r\n", line.c_str());
  uint32_t next = facts.nested;
  for (uint32_t depth = 0; next != 0; ++depth) {
    if (depth == kMostNestedRecords) {
      report.Print("Further nested records at %08x not shown (at most %u)\r\n", static_cast<unsigned>(next),
                    static_cast<unsigned>(kMostNestedRecords));
      break;
    }
    TargetRecord record;
    uint32_t read = 0;
    if (!target.Read(next, &record, sizeof record, &read, true) || read != sizeof record) {
      report.Print("Nested exception record at %08x cannot be read\r\n", static_cast<unsigned>(next));
      break;
    }
    ExceptionFacts nested;
    nested.code = record.code;
    nested.address = record.address;
    report.Print("%s\r\n", NestedLine(nested, WhereText(target, nested.address)).c_str());
    next = record.nested;
  }
  report.Print("\r\n");
}
