#include "report/symbol_table.h"

#include <string.h>

#include <vector>

namespace {

constexpr DWORD kFirstModuleQuery = 0;
constexpr DWORD kNextModuleQuery = 0xFFFFFFFF;

void WriteModuleSymbols(CReportOutput& report, const CTarget& target, const IMAGEHLP_MODULE& module) {
  report.Print("%s\r\n\r\n", module.ImageName);
  SymEnumerateSymbols(target.process(), module.BaseOfImage, WriteSymbolLine, &report);
  report.Print("\r\n\r\n");
}

IMAGEHLP_MODULE EmptyModuleRecord() {
  IMAGEHLP_MODULE module;
  memset(&module, 0, sizeof module);
  module.SizeOfStruct = sizeof module;
  return module;
}

BOOL CALLBACK CollectModuleBase(PCSTR, ULONG base, PVOID bases) {
  static_cast<std::vector<DWORD>*>(bases)->push_back(base);
  return TRUE;
}

// Wine's symbol handler does not answer the queries for address 0 and 0xFFFFFFFF, so its
// modules are listed by enumeration and each is looked up by its base, in the handler's
// enumeration order.
void WriteEnumeratedModules(CReportOutput& report, const CTarget& target) {
  std::vector<DWORD> bases;
  SymEnumerateModules(target.process(), CollectModuleBase, &bases);
  bool headingWritten = false;
  for (DWORD base : bases) {
    IMAGEHLP_MODULE module = EmptyModuleRecord();
    if (!SymGetModuleInfo(target.process(), base, &module)) continue;
    if (!headingWritten) report.Print("*----> Symbol Table <----*\r\n");
    headingWritten = true;
    WriteModuleSymbols(report, target, module);
  }
}

}  // namespace

void WriteSymbolTable(const ReportContext& context) {
  CReportOutput& report = context.report;
  const CTarget& target = context.target;
  IMAGEHLP_MODULE module = EmptyModuleRecord();
  if (!SymGetModuleInfo(target.process(), kFirstModuleQuery, &module)) {
    WriteEnumeratedModules(report, target);
    return;
  }
  report.Print("*----> Symbol Table <----*\r\n");
  do {
    WriteModuleSymbols(report, target, module);
  } while (SymGetModuleInfo(target.process(), kNextModuleQuery, &module));
}

BOOL CALLBACK WriteSymbolLine(PCSTR name, ULONG address, ULONG size, PVOID report) {
  if (name == nullptr || name[0] == 0 || size == 0) return TRUE;
  static_cast<CReportOutput*>(report)->Print("%08x %08x   %s\r\n", static_cast<unsigned>(address),
                                             static_cast<unsigned>(size), name);
  return TRUE;
}
