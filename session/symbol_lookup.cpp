#include "session/symbol_lookup.h"

#include <stddef.h>
#include <string.h>

#include "session/log_file.h"

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

}  // namespace

bool LookUpSymbolAt(CLogFile& session, uint32_t address, uint32_t* displacement) {
  if (session.symbolBuffer == nullptr) return false;
  DWORD handlerDisplacement = 0;
  if (SymGetSymFromAddr(session.process, address, &handlerDisplacement, session.symbolBuffer)) {
    *displacement = handlerDisplacement;
    return true;
  }
  const char* name = nullptr;
  const ExportedFunction* function = session.exports.FunctionAt(session, address, &name);
  if (function == nullptr) return false;
  AnswerWithExport(*session.symbolBuffer, *function, name);
  *displacement = address - function->address;
  return true;
}
