// Instructions per second: Disassemble into listing lines (evaluation off and on) and the
// lengths-only entry, beside capstone (detail off) over the same bytes: the .text section of a
// large Wine DLL, mapped into the host stand-in's target.
#include <benchmark/benchmark.h>
#include <capstone/capstone.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "report/disassemble_target.h"
#include "session/log_file.h"
#include "session/thread_context.h"
#include "sim/sim.h"
#include "tools/pe_text.h"

namespace {

const char* const kImage = "/usr/lib/i386-linux-gnu/wine/i386-windows/kernelbase.dll";

const PeTextSection& TextSection() {
  static PeTextSection text = [] {
    PeTextSection t;
    ReadPeTextSection(kImage, &t);
    return t;
  }();
  return text;
}

struct Target {
  TextPane pane{nullptr, nullptr};
  CLogFile* session = nullptr;
  CThreadContext* thread = nullptr;
  Target() {
    const PeTextSection& text = TextSection();
    sim::Reset();
    const uint32_t pages = (static_cast<uint32_t>(text.bytes.size()) + 64 + 0xFFF) & ~0xFFFu;
    sim::AddRegion(text.address & ~0xFFFu, pages + 0x1000, PAGE_EXECUTE_READ);
    sim::Fill(text.address, std::vector<BYTE>(text.bytes.begin(), text.bytes.end()));
    sim::AddRegion(0x0012f000, 0x1000, PAGE_READWRITE);  // a stack for evaluated operands
    session = new CLogFile("/dev/null", pane);
    session->process = sim::target().processHandle;
    sim::target().symbolsActive = true;
    thread = new CThreadContext(nullptr, 1);
    thread->context.Esp = 0x0012ff00;
    thread->context.Ebp = 0x0012ff40;
    thread->context.Esi = text.address;
    thread->context.Edi = 0x0012f800;
  }
};

Target& target() {
  static Target t;
  return t;
}

void ListLines(benchmark::State& state, bool evaluate) {
  Target& t = target();
  const PeTextSection& text = TextSection();
  const uint32_t end = text.address + static_cast<uint32_t>(text.bytes.size()) - 64;
  char line[kListingLineSize];
  size_t instructions = 0;
  for (auto _ : state) {
    for (uint32_t address = text.address; address < end;) {
      if (!Disassemble(t.session->target, *t.thread, address, line, evaluate)) ++address;
      ++instructions;
    }
    benchmark::DoNotOptimize(line);
  }
  state.SetItemsProcessed(static_cast<int64_t>(instructions));
}

void BM_Disassemble(benchmark::State& state) { ListLines(state, false); }
void BM_DisassembleEvaluate(benchmark::State& state) { ListLines(state, true); }

void BM_DisassembleLength(benchmark::State& state) {
  Target& t = target();
  const PeTextSection& text = TextSection();
  const uint32_t end = text.address + static_cast<uint32_t>(text.bytes.size()) - 64;
  size_t instructions = 0;
  for (auto _ : state) {
    for (uint32_t address = text.address; address < end;) {
      uint32_t length = 1;
      DisassembleLength(t.session->target, address, &length);
      address += length;
      ++instructions;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(instructions));
}

void BM_DecodeLength(benchmark::State& state) {
  const PeTextSection& text = TextSection();
  const size_t end = text.bytes.size() - 64;
  size_t instructions = 0;
  for (auto _ : state) {
    for (size_t at = 0; at < end;) {
      uint32_t length = 1;
      DecodeLength(&text.bytes[at], 64, &length);
      at += length;
      ++instructions;
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(instructions));
}

void BM_Capstone(benchmark::State& state) {
  const PeTextSection& text = TextSection();
  csh handle;
  if (cs_open(CS_ARCH_X86, CS_MODE_32, &handle) != CS_ERR_OK) {
    state.SkipWithError("cs_open failed");
    return;
  }
  cs_option(handle, CS_OPT_DETAIL, CS_OPT_OFF);
  cs_insn* insn = cs_malloc(handle);
  const size_t total = text.bytes.size() - 64;
  size_t instructions = 0;
  for (auto _ : state) {
    const uint8_t* code = text.bytes.data();
    size_t size = total;
    uint64_t address = text.address;
    while (size > 0) {
      if (!cs_disasm_iter(handle, &code, &size, &address, insn)) {
        ++code;
        --size;
        ++address;
      }
      ++instructions;
    }
    benchmark::DoNotOptimize(insn->mnemonic);
  }
  state.SetItemsProcessed(static_cast<int64_t>(instructions));
  cs_free(insn, 1);
  cs_close(&handle);
}

BENCHMARK(BM_Disassemble)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DisassembleEvaluate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Capstone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DisassembleLength)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLength)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
