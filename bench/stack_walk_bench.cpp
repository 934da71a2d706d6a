// The back trace of synthetic stacks without frame pointers: frames found, frames wrongly
// added and the time per walk. Each stack is a chain of calls between 64 functions of one
// module whose frames hold noise: small numbers, pointers into data and onto the stack,
// function pointers, addresses in code after no call, and return addresses that earlier
// calls left behind. Runs on the host stand-in; build without sanitizers for the times:
//   cmake -S . -B build/bench -DTARNHOLM_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench --target stack_walk_bench && build/bench/bench/stack_walk_bench
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "report/back_trace.h"
#include "sim/sim.h"
#include "tests/unit/code_module.h"
#include "tests/unit/test_support.h"

namespace {

constexpr DWORD kBase = 0x400000, kText = 0x401000, kFunctions = 64, kFunctionSize = 0x200;
constexpr DWORD kData = 0x411000;
constexpr DWORD kStack = 0x120000, kStackSize = 0x40000, kTop = kStack + kStackSize;
constexpr int kStacks = 200;

struct Pane {
  TextPane pane{&Pane::Ignore, nullptr};
  static void Ignore(void*, const char*) {}
};

DWORD FunctionStart(DWORD i) { return kText + i * kFunctionSize; }

struct Outcome {
  int truth = 0, found = 0, added = 0, frames = 0;
  double seconds = 0;
};

// One stack: returns the true return addresses, innermost first.
std::vector<DWORD> BuildStack(std::mt19937& random, DWORD* eip, DWORD* esp) {
  std::vector<DWORD> words;
  std::vector<DWORD> truth;
  const int depth = 3 + static_cast<int>(random() % 40);
  DWORD callee = random() % kFunctions;
  *eip = FunctionStart(callee) + 0x100 + random() % 0x40;
  for (int level = 0; level < depth; ++level) {
    const DWORD caller = random() % kFunctions;
    // The frame's noise, below its return address.
    const int locals = static_cast<int>(random() % 24);
    for (int i = 0; i < locals; ++i) {
      switch (random() % 6) {
        case 0: words.push_back(random() % 1000); break;
        case 1: words.push_back(kData + (random() % 0x1000) * 4); break;
        case 2: words.push_back(FunctionStart(random() % kFunctions)); break;
        case 3: words.push_back(FunctionStart(random() % kFunctions) + 0x120 + random() % 0x20); break;
        case 4: words.push_back(kTop - (random() % 0x8000) * 4); break;
        default: {
          // A stale return address: after a direct call of another function in some caller.
          const DWORD other = random() % kFunctions;
          words.push_back(FunctionStart(other) + 0x10 + 5 * ((other * 7 + random()) % kFunctions) + 5);
        }
      }
    }
    // Each caller calls each callee from its own site: call rel32 at 0x10 + 5 * callee.
    const DWORD site = FunctionStart(caller) + 0x10 + 5 * callee;
    truth.push_back(site + 5);
    words.push_back(site + 5);
    callee = caller;
  }
  words.push_back(0);
  *esp = kTop - 4 * static_cast<DWORD>(words.size()) - 0x100;
  for (size_t i = 0; i < words.size(); ++i) {
    const DWORD word = words[i];
    sim::Fill(*esp + 4 * static_cast<DWORD>(i), {static_cast<BYTE>(word), static_cast<BYTE>(word >> 8),
                                                 static_cast<BYTE>(word >> 16), static_cast<BYTE>(word >> 24)});
  }
  return truth;
}

std::vector<DWORD> ReturnAddresses(const std::string& text) {
  static const std::string header = "FramePtr ReturnAd Param#1  Param#2  Param#3  Param#4  Function Name\r\n";
  std::vector<DWORD> returns;
  for (size_t at = text.find(header); at != std::string::npos; at = text.find(header, at + 1)) {
    returns.push_back(static_cast<DWORD>(strtoul(text.substr(at + header.size() + 9, 8).c_str(), nullptr, 16)));
  }
  return returns;
}

// The same stacks (one seed) with symbols for every function, or stripped.
void Run(bool symbols) {
  std::mt19937 random(1234);
  const std::string path = ScratchDir() + "/walk.txt";
  Outcome total;
  for (int n = 0; n < kStacks; ++n) {
    sim::Reset();
    code_module::Add("C:\\app\\prog.exe", kBase, 0x20000, kFunctions * kFunctionSize);
    for (DWORD caller = 0; caller < kFunctions; ++caller) {
      for (DWORD callee = 0; callee < kFunctions; ++callee) {
        code_module::CallDirect(FunctionStart(caller) + 0x10 + 5 * callee, FunctionStart(callee));
      }
    }
    sim::AddRegion(kStack, kStackSize);
    sim::target().symbolsActive = true;
    for (DWORD i = 0; symbols && i < kFunctions; ++i) {
      sim::AddSymbol("fn_" + std::to_string(i), FunctionStart(i), kFunctionSize);
    }
    DWORD eip = 0, esp = 0;
    const std::vector<DWORD> truth = BuildStack(random, &eip, &esp);
    Pane pane;
    {
      CLogFile session(path.c_str(), pane.pane);
      session.process = sim::target().processHandle;
      session.options.instructionCount = 16;
      session.AddModule(CModule("C:\\app\\prog.exe", kBase, 0x20000));
      CThreadContext thread(nullptr, 1);
      thread.eip = thread.context.Eip = eip;
      thread.esp = thread.context.Esp = esp;
      thread.ebp = thread.context.Ebp = 0;
      const auto begin = std::chrono::steady_clock::now();
      WriteBackTrace(session, thread);
      total.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    }
    const std::vector<DWORD> shown = ReturnAddresses(ReadWholeFile(path));
    const std::set<DWORD> shownSet(shown.begin(), shown.end()), truthSet(truth.begin(), truth.end());
    // The deepest stacks are cut at 100 frames; only the frames that fit count.
    const size_t fits = truth.size() < 100 ? truth.size() : 100;
    total.truth += static_cast<int>(fits);
    for (size_t i = 0; i < fits; ++i) total.found += shownSet.count(truth[i]) ? 1 : 0;
    for (DWORD returned : shown) total.added += returned != 0 && !truthSet.count(returned) ? 1 : 0;
    total.frames += static_cast<int>(shown.size());
  }
  printf("%s: stacks: %d, true frames: %d\n", symbols ? "with symbols" : "stripped", kStacks, total.truth);
  printf("frames found: %d (%.1f%%)\n", total.found, 100.0 * total.found / total.truth);
  printf("frames wrongly added: %d\n", total.added);
  printf("frames shown: %d\n", total.frames);
  printf("time per walk (with the listings): %.3f ms\n", 1000.0 * total.seconds / kStacks);
}

}  // namespace

int main() {
  Run(false);
  Run(true);
  return 0;
}
