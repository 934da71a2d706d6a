#include "session/symbol_service.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

namespace {

// The handler's record holds the name from this offset to its end, not always terminated.
constexpr size_t kNameRoom = kSymbolBufferSize - offsetof(IMAGEHLP_SYMBOL, Name);

}  // namespace

CSymbolService::CSymbolService(const HANDLE& targetProcess, CModuleImages& moduleImages)
    : process(targetProcess), images(moduleImages) {}

void CSymbolService::Enable() {
  if (handlerRecord.empty()) {
    // Zero-filled once and then kept, as the handler may leave a name unterminated at its end.
    handlerRecord.assign(kSymbolBufferSize, 0);
    IMAGEHLP_SYMBOL& record = *reinterpret_cast<IMAGEHLP_SYMBOL*>(handlerRecord.data());
    record.SizeOfStruct = sizeof(IMAGEHLP_SYMBOL);
    record.MaxNameLength = kSymbolNameLength;
  }
  isEnabled = true;
}

void CSymbolService::StartHandler(HANDLE target, const char* searchPath) {
  // Each module's symbols are read when a look-up first needs them: a report needs those of
  // few modules, and reading all of them at the start took most of the report's time.
  SymSetOptions(SymGetOptions() | SYMOPT_DEFERRED_LOADS);
  SymInitialize(target, searchPath, TRUE);
  handlerProcess = target;
}

void CSymbolService::EndReport() {
  SymCleanup(handlerProcess != nullptr ? handlerProcess : process);
  handlerProcess = nullptr;
}

void CSymbolService::Release() {
  if (handlerProcess != nullptr) EndReport();
  handlerRecord.clear();
  handlerRecord.shrink_to_fit();
  isEnabled = false;
}

bool CSymbolService::LookUp(uint32_t address, CSymbol* symbol) {
  if (!Find(address, symbol)) return false;
  foundFlags = symbol->flags;
  return true;
}

bool CSymbolService::LookUpQuietly(uint32_t address, CSymbol* symbol) { return Find(address, symbol); }

bool CSymbolService::Find(uint32_t address, CSymbol* symbol) {
  *symbol = CSymbol();
  if (!isEnabled) return false;
  IMAGEHLP_SYMBOL& record = *reinterpret_cast<IMAGEHLP_SYMBOL*>(handlerRecord.data());
  DWORD displacement = 0;
  if (!SymGetSymFromAddr(process, address, &displacement, &record)) return FindExport(address, symbol);
  symbol->address = record.Address;
  symbol->size = record.Size;
  symbol->flags = record.Flags;
  symbol->displacement = displacement;
  symbol->name.assign(record.Name, strnlen(record.Name, kNameRoom - 1));
  return true;
}

bool CSymbolService::FindExport(uint32_t address, CSymbol* symbol) {
  const ExportedFunction* function = nullptr;
  const char* name = nullptr;
  if (!images.ExportAt(address, &function, &name)) return false;
  symbol->address = function->address;
  symbol->size = function->size;
  symbol->displacement = address - function->address;
  symbol->fromExports = true;
  // Cut as the handler cuts a long name: to its name length, the terminator included.
  symbol->name.assign(name, strnlen(name, kSymbolNameLength - 1));
  return true;
}

std::string ShownSymbolName(const CSymbol& symbol) {
  if (!symbol.fromExports || symbol.displacement == 0) return symbol.name;
  char distance[16];
  snprintf(distance, sizeof distance, "+0x%x", static_cast<unsigned>(symbol.displacement));
  return symbol.name + distance;
}
