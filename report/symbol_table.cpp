#include "report/symbol_table.h"

#include <string.h>

#include <vector>

namespace {

constexpr DWORD kFirstModuleQuery = 0;
constexpr DWORD kNextModuleQuery = 0xFFFFFFFF;

void WriteModuleSymbols(CLogFile& session, const IMAGEHLP_MODULE& module) {
  session.Print("%s\r\n\r\n", module.ImageName);
  SymEnumerateSymbols(session.process, module.BaseOfImage, WriteSymbolLine, &session);
  session.Print("\r\n\r\n");
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
void WriteEnumeratedModules(CLogFile& session) {
  std::vector<DWORD> bases;
  SymEnumerateModules(session.process, CollectModuleBase, &bases);
  bool headingWritten = false;
  for (DWORD base : bases) {
    IMAGEHLP_MODULE module = EmptyModuleRecord();
    if (!SymGetModuleInfo(session.process, base, &module)) continue;
    if (!headingWritten) session.Print("*----> Symbol Table <----*\r\n");
    headingWritten = true;
    WriteModuleSymbols(session, module);
  }
}

}  // namespace

void WriteSymbolTable(CLogFile& session) {
  IMAGEHLP_MODULE module = EmptyModuleRecord();
  if (!SymGetModuleInfo(session.process, kFirstModuleQuery, &module)) {
    WriteEnumeratedModules(session);
    return;
  }
  session.Print("*----> Symbol Table <----*\r\n");
  do {
    WriteModuleSymbols(session, module);
  } while (SymGetModuleInfo(session.process, kNextModuleQuery, &module));
}

BOOL CALLBACK WriteSymbolLine(PCSTR name, ULONG address, ULONG size, PVOID session) {
  if (name == nullptr || name[0] == 0 || size == 0) return TRUE;
  static_cast<CLogFile*>(session)->Print("%08x %08x   %s\r\n", static_cast<unsigned>(address),
                                         static_cast<unsigned>(size), name);
  return TRUE;
}
