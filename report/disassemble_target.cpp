#include "report/disassemble_target.h"

#include <stddef.h>

#include "report/registers.h"
#include "session/log_file.h"
#include "session/symbol_lookup.h"

namespace {

// RegisterValue indices of eax, ecx, edx, ebx, esp, ebp, esi, edi.
constexpr uint32_t kGeneralRegisterIndex[8] = {9, 8, 7, 6, 14, 10, 5, 4};

class CTargetBytes : public disasm::ByteReader {
 public:
  explicit CTargetBytes(CLogFile& session) : session(session) {}
  uint32_t Read(uint32_t address, uint8_t* buffer, uint32_t size) override {
    uint32_t count = 0;
    session.ReadTargetMemory(address, buffer, size, &count, true);
    return count;
  }

 private:
  CLogFile& session;
};

// The symbol handler's names. A session without a symbol buffer knows none.
class CSessionSymbols : public disasm::SymbolResolver {
 public:
  explicit CSessionSymbols(CLogFile& session) : session(session) {}
  bool Resolve(uint32_t address, disasm::SymbolName* name) override {
    if (session.symbolBuffer == nullptr) return false;
    if (!LookUpSymbolAt(session, address, &name->displacement)) return false;
    const IMAGEHLP_SYMBOL& symbol = *session.symbolBuffer;
    name->text = symbol.Name;
    name->length = NameRoom(symbol);
    return true;
  }

 private:
  // The longest name the symbol buffer can hold: it need not be terminated within its room.
  static uint32_t NameRoom(const IMAGEHLP_SYMBOL& symbol) {
    const uint32_t room = kSymbolBufferSize - static_cast<uint32_t>(offsetof(IMAGEHLP_SYMBOL, Name));
    return symbol.MaxNameLength < room ? symbol.MaxNameLength : room;
  }

  CLogFile& session;
};

disasm::RegisterValues GeneralRegisters(CLogFile& session, const CThreadContext& thread) {
  disasm::RegisterValues values;
  for (uint32_t i = 0; i < 8; ++i)
    values.general[i] = static_cast<uint32_t>(RegisterValue(session, thread, kGeneralRegisterIndex[i]));
  return values;
}

}  // namespace

bool Disassemble(CLogFile& session, const CThreadContext& thread, uint32_t& address, char* line, bool evaluate) {
  CTargetBytes memory(session);
  CSessionSymbols symbols(session);
  const disasm::RegisterValues registers = evaluate ? GeneralRegisters(session, thread) : disasm::RegisterValues();
  const disasm::ListingSources sources = {&memory, &symbols, evaluate ? &registers : nullptr};
  return disasm::ListInstruction(sources, address, line);
}

bool DisassembleLength(CLogFile& session, uint32_t address, uint32_t* length) {
  CTargetBytes memory(session);
  return disasm::ReadLength(memory, address, length);
}
