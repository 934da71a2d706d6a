// libFuzzer target: arbitrary code windows through Disassemble with evaluation and symbol
// lookups on. Checks: no sanitizer report, the line always fits its 1024 characters, a
// length of 1 to 64 on success, and the lengths-only entry and the instruction record giving
// the same answer.
//
// Input: byte 0 flags (bit 0 evaluate, bit 1 no symbol buffer), byte 1 the distance of the
// code from the end of the readable page, bytes 2..33 eight register values, then the code.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "disasm/instruction.h"
#include "report/disassemble_target.h"
#include "session/log_file.h"
#include "session/thread_context.h"
#include "sim/sim.h"

namespace {

constexpr uint32_t kPage = 0x00401000;  // readable; the page after it is not
constexpr uint32_t kPageEnd = kPage + 0x1000;

struct World {
  TextPane pane{nullptr, nullptr};
  CLogFile* session = nullptr;
  World() {
    sim::Reset();
    sim::AddRegion(0x00400000, 0x2000, PAGE_READWRITE);  // value memory below the code page
    sim::AddRegion(kPage, 0x1000, PAGE_EXECUTE_READ);
    sim::AddRegion(0x00500000, 0x1000, PAGE_READWRITE);
    std::string longName(1024, 'L');
    sim::AddSymbol(longName, 0x00000000, 0);
    sim::AddSymbol("near", 0x00401000, 0x10);
    sim::AddSymbol(std::string(1200, 'M'), 0x00401800, 0);
    sim::AddSymbol("far", 0x7ff00000, 0);
    session = new CLogFile("/dev/null", pane);
    session->process = sim::target().processHandle;
    session->memory.SetCache(false);  // the code changes with every input
    sim::target().symbolsActive = true;
  }
};

World& world() {
  static World w;
  return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& w = world();
  if (size < 2) return 0;
  const bool evaluate = (data[0] & 1) != 0;
  const bool noSymbols = (data[0] & 2) != 0;
  const uint32_t distance = 1 + data[1] % 96;
  const uint32_t address = kPageEnd - distance;
  CThreadContext thread(nullptr, 1);
  const uint8_t* p = data + 2;
  size_t left = size - 2;
  uint32_t registers[8] = {0x00400100, 0x00401ff0, 0x00500000, 0xfffffff0, 0x0012ff00, 0x00400800, 0x00500ffc, 0};
  for (uint32_t i = 0; i < 8 && left >= 4; ++i, p += 4, left -= 4) memcpy(&registers[i], p, 4);
  thread.context.Eax = registers[0];
  thread.context.Ecx = registers[1];
  thread.context.Edx = registers[2];
  thread.context.Ebx = registers[3];
  thread.context.Esp = registers[4];
  thread.context.Ebp = registers[5];
  thread.context.Esi = registers[6];
  thread.context.Edi = registers[7];

  std::vector<uint8_t> code(96, 0);
  memcpy(code.data(), p, left < 96 ? left : 96);
  code.resize(distance);
  sim::Fill(address, code);

  if (noSymbols) w.session->symbols.Disable();
  // A line buffer of exactly the promised size: the address sanitizer sees any write past it.
  char* line = static_cast<char*>(malloc(kListingLineSize));
  uint32_t next = address;
  const bool ok = Disassemble(w.session->target, thread, next, line, evaluate);
  w.session->symbols.Enable();
  if (strnlen(line, kListingLineSize) >= kListingLineSize) abort();
  uint32_t length = 0;
  const bool lengthOk = DisassembleLength(w.session->target, address, &length);
  if (ok != lengthOk) abort();
  // The record agrees with the lengths-only decoding over the same bytes (all that can be
  // read here, which the read rule above may not have delivered in full).
  disasm::Instruction record;
  uint32_t readable = 0;
  const uint32_t count = distance < 64 ? distance : 64;
  const bool recorded = disasm::DecodeRecord(code.data(), count, address, &record);
  if (recorded != DecodeLength(code.data(), count, &readable)) abort();
  if (recorded && record.length != readable) abort();
  if (ok) {
    if (next - address < 1 || next - address > 64) abort();
    if (length != next - address) abort();
  } else if (next != address) {
    abort();
  }
  free(line);
  return 0;
}
