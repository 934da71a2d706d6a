#include "session/symbol_lookup.h"

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "session/log_file.h"

void CSymbolState::AllocateBuffer() {
  if (buffer != nullptr) return;
  buffer = static_cast<PIMAGEHLP_SYMBOL>(calloc(1, kSymbolBufferSize));
  if (buffer == nullptr) return;
  buffer->SizeOfStruct = sizeof(IMAGEHLP_SYMBOL);
  buffer->MaxNameLength = kSymbolNameLength;
}

void CSymbolState::StartHandler(HANDLE process, const char* searchPath) {
  // Each module's symbols are read when a look-up first needs them: a report needs those of
  // few modules, and reading all of them at the start took most of the report's time.
  SymSetOptions(SymGetOptions() | SYMOPT_DEFERRED_LOADS);
  SymInitialize(process, searchPath, TRUE);
  handlerProcess = process;
}

void CSymbolState::EndReport(HANDLE process) {
  SymCleanup(handlerProcess != nullptr ? handlerProcess : process);
  handlerProcess = nullptr;
  exports.Clear();
}

void CSymbolState::Release() {
  if (handlerProcess != nullptr) EndReport(handlerProcess);
  exports.Clear();
  free(buffer);
  buffer = nullptr;
}

namespace {

void AnswerWithExport(IMAGEHLP_SYMBOL& symbol, const ExportedFunction& function, const char* name) {
  symbol.Address = function.address;
  symbol.Size = function.size;
  symbol.Flags = 0;
  // Cut to the room the buffer has, as the handler cuts a long name.
  const size_t bufferRoom = kSymbolBufferSize - offsetof(IMAGEHLP_SYMBOL, Name);
  const size_t room = symbol.MaxNameLength < bufferRoom ? symbol.MaxNameLength : bufferRoom;
  if (room == 0) return;
  const size_t length = strnlen(name, room - 1);
  memcpy(symbol.Name, name, length);
  symbol.Name[length] = 0;
}

constexpr uint32_t kPageSize = 4096;

// The readable front of the request. Pages are read whole or not at all, so after a request
// that could not be read whole the front is found a page at a time (the shrinking retry alone
// would stop at a power-of-two share of the request).
bool ReadForExports(void* context, uint32_t address, void* buffer, uint32_t size, uint32_t* count) {
  CLogFile& session = *static_cast<CLogFile*>(context);
  uint32_t read = 0;
  if (session.ReadTargetMemory(address, buffer, size, &read, true) && read == size) {
    *count = size;
    return true;
  }
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  uint32_t done = 0;
  while (done < size) {
    const uint32_t at = address + done;
    const uint32_t piece = std::min(size - done, kPageSize - (at & (kPageSize - 1)));
    if (!session.ReadTargetMemory(at, bytes + done, piece, &read, true) || read != piece) break;
    done += piece;
  }
  *count = done;
  return done > 0;
}

}  // namespace

bool LookUpSymbolAt(CLogFile& session, uint32_t address, uint32_t* displacement, bool* fromExports) {
  if (fromExports != nullptr) *fromExports = false;
  if (session.symbolBuffer == nullptr) return false;
  DWORD handlerDisplacement = 0;
  if (SymGetSymFromAddr(session.process, address, &handlerDisplacement, session.symbolBuffer)) {
    *displacement = handlerDisplacement;
    return true;
  }
  const TargetReader reader{ReadForExports, &session};
  const CModuleExports::Answer answer = session.symbols.exports.FunctionAt(session.modules, reader, address);
  if (answer.firstUse && !answer.problem.empty()) {
    session.Log("Exports of %s %s: %s", answer.module->name.c_str(), answer.tableUsable ? "partly used" : "not used",
                answer.problem.c_str());
  }
  if (answer.function == nullptr) return false;
  AnswerWithExport(*session.symbolBuffer, *answer.function, answer.name);
  *displacement = address - answer.function->address;
  if (fromExports != nullptr) *fromExports = true;
  return true;
}

void ShownSymbolName(const IMAGEHLP_SYMBOL& symbol, uint32_t displacement, bool fromExports, char* text,
                     uint32_t capacity) {
  if (capacity == 0) return;
  const size_t bufferRoom = kSymbolBufferSize - offsetof(IMAGEHLP_SYMBOL, Name);
  const int length = static_cast<int>(strnlen(symbol.Name, bufferRoom - 1));
  if (fromExports && displacement != 0) {
    snprintf(text, capacity, "%.*s+0x%x", length, symbol.Name, static_cast<unsigned>(displacement));
  } else {
    snprintf(text, capacity, "%.*s", length, symbol.Name);
  }
}
