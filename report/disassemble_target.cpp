#include "report/disassemble_target.h"

#include "report/registers.h"
#include "session/target.h"

namespace {

// RegisterValue indices of eax, ecx, edx, ebx, esp, ebp, esi, edi.
constexpr uint32_t kGeneralRegisterIndex[8] = {9, 8, 7, 6, 14, 10, 5, 4};

class CTargetBytes : public disasm::ByteReader {
 public:
  explicit CTargetBytes(const CTarget& target) : target(target) {}
  uint32_t Read(uint32_t address, uint8_t* buffer, uint32_t size) override {
    uint32_t count = 0;
    target.Read(address, buffer, size, &count, true);
    return count;
  }

 private:
  const CTarget& target;
};

// The target's symbols. The name handed on lives in the last answer, which the listing
// uses before it asks again.
class CTargetSymbols : public disasm::SymbolResolver {
 public:
  explicit CTargetSymbols(const CTarget& target) : target(target) {}
  bool Resolve(uint32_t address, disasm::SymbolName* name) override {
    if (!target.symbols().LookUp(address, &answer)) return false;
    name->text = answer.name.c_str();
    name->length = kSymbolNameLength;  // at most the name length the handler is asked for
    name->displacement = answer.displacement;
    return true;
  }

 private:
  const CTarget& target;
  CSymbol answer;
};

disasm::RegisterValues GeneralRegisters(const CTarget& target, const CThreadContext& thread) {
  disasm::RegisterValues values;
  for (uint32_t i = 0; i < 8; ++i)
    values.general[i] = static_cast<uint32_t>(RegisterValue(target, thread, kGeneralRegisterIndex[i]));
  return values;
}

}  // namespace

bool Disassemble(const CTarget& target, const CThreadContext& thread, uint32_t& address, char* line, bool evaluate) {
  CTargetBytes memory(target);
  CTargetSymbols symbols(target);
  const disasm::RegisterValues registers = evaluate ? GeneralRegisters(target, thread) : disasm::RegisterValues();
  const disasm::ListingSources sources = {&memory, &symbols, evaluate ? &registers : nullptr};
  return disasm::ListInstruction(sources, address, line);
}

bool DisassembleLength(const CTarget& target, uint32_t address, uint32_t* length) {
  CTargetBytes memory(target);
  return disasm::ReadLength(memory, address, length);
}
