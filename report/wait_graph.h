// The wait-for graph of a process's threads and its cycles: each thread waits for at most
// one other (the owner of its critical section, of its mutex where known, the thread it
// joins, the thread of the window it sends to), so every cycle is found by following edges,
// each once, in work bounded by the number of threads.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct WaitEdge {
  uint32_t thread = 0;
  bool waits = false;   // false: the thread waits for no other thread
  uint32_t holder = 0;  // the thread it waits for
  std::string via;      // what it waits on, as the cycle line names it: "critical section 00403010"
};

// One line per cycle, "Deadlock: thread 0x1c -> critical section 00403010 -> thread 0x1d ->
// critical section 00403028 -> thread 0x1c", each starting at its lowest thread id, in the
// order of those ids. A holder that is no thread of edges ends its chain without a cycle; a
// thread listed twice counts once, as first listed.
std::vector<std::string> DeadlockLines(const std::vector<WaitEdge>& edges);
