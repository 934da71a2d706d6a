// The dump of a target with 200 threads and 1 GiB committed (regions of 512, 256, 128 and
// 128 MiB) through the companion's path on the host stand-in, beside a plain copy of as many
// bytes between two files in the same folder (the floor): wall time, MiB/s of region data,
// and the peak memory the dump added. Prints figures; build without sanitizers:
//   cmake -S . -B build/bench -DTARNHOLM_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/bench --target region_dump_bench && build/bench/bench/region_dump_bench [DIR [RUNS]]
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "report/memory_dump.h"
#include "report/report.h"
#include "session/exit_status.h"
#include "session/log_file.h"
#include "sim/sim.h"

namespace {

constexpr DWORD kMiB = 1u << 20;
constexpr int kThreads = 200;
constexpr DWORD kStackSize = 0x4000;  // what an idle thread has committed

long PeakKiB() {
  FILE* status = fopen("/proc/self/status", "r");
  char line[256];
  long kib = -1;
  while (status && fgets(line, sizeof line, status)) {
    if (strncmp(line, "VmHWM:", 6) == 0) kib = strtol(line + 6, nullptr, 10);
  }
  if (status) fclose(status);
  return kib;
}

// Linux lets a process reset its own peak resident size.
void ResetPeak() {
  FILE* refs = fopen("/proc/self/clear_refs", "w");
  if (refs) {
    fputs("5", refs);
    fclose(refs);
  }
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

uint64_t BuildTarget() {
  sim::Reset();
  sim::AddModule("C:\\app\\big.exe", 0x00400000, 0x1000);
  sim::AddRegion(0x00400000, 0x1000, PAGE_READONLY, MEM_IMAGE);
  uint64_t bytes = 0x1000;
  for (int i = 0; i < kThreads; ++i) {
    DWORD stack = 0x01000000 + static_cast<DWORD>(i) * 0x20000;
    sim::AddRegion(stack, kStackSize);
    sim::AddThread(0x100 + static_cast<DWORD>(i), 0, stack + kStackSize - 0x200, stack + kStackSize - 0x100);
    bytes += kStackSize;
  }
  DWORD base = 0x10000000;
  for (DWORD mib : {512u, 256u, 128u, 128u}) {
    sim::AddRegion(base, mib * kMiB);  // contents zero, as the stand-in keeps no bytes for them
    base += mib * kMiB + 0x10000;
    bytes += static_cast<uint64_t>(mib) * kMiB;
  }
  sim::ScriptAttachEvents();
  return bytes;
}

double CopyFile(const std::string& from, const std::string& to) {
  std::vector<char> buffer(kMiB);
  auto start = std::chrono::steady_clock::now();
  int in = open(from.c_str(), O_RDONLY), out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ssize_t n;
  while ((n = read(in, buffer.data(), buffer.size())) > 0) {
    if (write(out, buffer.data(), static_cast<size_t>(n)) != n) break;
  }
  close(in);
  close(out);
  return Seconds(start);
}

void WriteZeros(const std::string& path, uint64_t bytes) {
  std::vector<char> zeros(kMiB);
  int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  for (uint64_t left = bytes; left > 0;) {
    size_t n = left < zeros.size() ? static_cast<size_t>(left) : zeros.size();
    if (write(out, zeros.data(), n) != static_cast<ssize_t>(n)) break;
    left -= n;
  }
  close(out);
}

struct DumpRun {
  double seconds;
  long peakKiB;
  uint64_t written;
  int status;
};

// The whole companion path (attach, thread sections, memory walk), or the memory walk alone.
DumpRun DumpOnce(const std::string& report, bool walkOnly) {
  BuildTarget();
  TextPane pane{[](void*, const char*) {}, nullptr};
  ResetPeak();
  auto start = std::chrono::steady_clock::now();
  DumpRun run{0, 0, 0, 0};
  {
    CLogFile session(report.c_str(), pane);
    session.options.instructionCount = 16;
    session.options.symbolTableEnabled = false;
    if (walkOnly) {
      session.process = sim::target().processHandle;
      DumpCommittedMemory(session);
    } else {
      session.AddListener(ReportListener());
      run.status = DumpExitStatus(session, session.RunDebugLoop(1234));
    }
  }
  run.seconds = Seconds(start);
  run.peakKiB = PeakKiB();
  for (const sim::Region& region : sim::target().regions) {
    char name[64];
    snprintf(name, sizeof name, ".%08X.bin", region.base);
    struct stat info;
    if (stat((report + name).c_str(), &info) == 0) run.written += static_cast<uint64_t>(info.st_size);
    unlink((report + name).c_str());
  }
  unlink(report.c_str());
  return run;
}

double CopyOnce(const std::string& dir, uint64_t bytes) {
  std::string source = dir + "/region_dump_bench.src", copy = dir + "/region_dump_bench.copy";
  WriteZeros(source, bytes);
  double seconds = CopyFile(source, copy);
  unlink(source.c_str());
  unlink(copy.c_str());
  return seconds;
}

}  // namespace

// The best of RUNS runs of each, taken in turn, since the machine may be busy with other work.
int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : ".";
  int runs = argc > 2 ? atoi(argv[2]) : 3;
  std::string report = dir + "/region_dump_bench.txt";
  const uint64_t regionBytes = BuildTarget();
  long before = PeakKiB();
  DumpRun best{1e9, 0, 0, 0};
  double copySeconds = 1e9, walkSeconds = 1e9;
  for (int i = 0; i < runs; ++i) {
    DumpRun walk = DumpOnce(report, true);
    if (walk.seconds < walkSeconds) walkSeconds = walk.seconds;
    DumpRun run = DumpOnce(report, false);
    if (run.seconds < best.seconds) best.seconds = run.seconds;
    if (run.peakKiB > best.peakKiB) best.peakKiB = run.peakKiB;
    best.written = run.written;
    best.status = run.status;
    double copy = CopyOnce(dir, run.written);
    if (copy < copySeconds) copySeconds = copy;
  }

  const double mib = static_cast<double>(best.written) / kMiB;
  printf("target: %d threads, %.0f MiB committed; region files: %.0f MiB (exit status %d); best of %d runs\n",
         kThreads, static_cast<double>(regionBytes) / kMiB, mib, best.status, runs);
  printf("dump:      %.2f s  %7.0f MiB/s  peak memory %.1f MiB (VmHWM; %.1f MiB before the dump)\n", best.seconds,
         mib / best.seconds, best.peakKiB / 1024.0, before / 1024.0);
  printf("walk alone: %.2f s %7.0f MiB/s  (the committed-memory walk without the thread sections)\n", walkSeconds,
         mib / walkSeconds);
  printf("file copy: %.2f s  %7.0f MiB/s  (the same bytes, 1 MiB reads and writes, same folder)\n", copySeconds,
         mib / copySeconds);
  printf("dump speed / copy speed: %.2f (walk alone: %.2f)\n", copySeconds / best.seconds, copySeconds / walkSeconds);
  return best.written == regionBytes && best.status == 0 ? 0 : 1;
}
