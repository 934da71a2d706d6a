#include "report/wait_graph.h"

#include <stdio.h>

#include <algorithm>
#include <map>

namespace {

enum class Mark : uint8_t { kNew, kOnPath, kDone };

std::string ThreadText(uint32_t thread) {
  char text[24];
  snprintf(text, sizeof text, "thread 0x%x", static_cast<unsigned>(thread));
  return text;
}

// The cycle's nodes from its lowest thread id on.
std::vector<size_t> FromLowest(std::vector<size_t> cycle, const std::vector<WaitEdge>& edges) {
  auto lowest = std::min_element(cycle.begin(), cycle.end(),
                                 [&](size_t a, size_t b) { return edges[a].thread < edges[b].thread; });
  std::rotate(cycle.begin(), lowest, cycle.end());
  return cycle;
}

std::string CycleLine(const std::vector<size_t>& cycle, const std::vector<WaitEdge>& edges) {
  std::string line = "Deadlock: " + ThreadText(edges[cycle[0]].thread);
  for (size_t node : cycle) line += " -> " + edges[node].via + " -> " + ThreadText(edges[node].holder);
  return line;
}

}  // namespace

std::vector<std::string> DeadlockLines(const std::vector<WaitEdge>& edges) {
  std::map<uint32_t, size_t> index;
  for (size_t i = 0; i < edges.size(); ++i) index.emplace(edges[i].thread, i);
  std::vector<Mark> marks(edges.size(), Mark::kNew);
  std::vector<std::vector<size_t>> cycles;
  for (size_t start = 0; start < edges.size(); ++start) {
    std::vector<size_t> path;
    size_t node = start;
    // Every node joins at most one path, so all walks together take one step per edge.
    while (marks[node] == Mark::kNew && index.at(edges[node].thread) == node) {
      marks[node] = Mark::kOnPath;
      path.push_back(node);
      if (!edges[node].waits) break;
      auto next = index.find(edges[node].holder);
      if (next == index.end()) break;
      node = next->second;
      if (marks[node] == Mark::kOnPath) {
        const auto first = std::find(path.begin(), path.end(), node);
        cycles.push_back(FromLowest(std::vector<size_t>(first, path.end()), edges));
        break;
      }
    }
    for (size_t done : path) marks[done] = Mark::kDone;
  }
  std::sort(cycles.begin(), cycles.end(), [&](const std::vector<size_t>& a, const std::vector<size_t>& b) {
    return edges[a[0]].thread < edges[b[0]].thread;
  });
  std::vector<std::string> lines;
  for (const auto& cycle : cycles) lines.push_back(CycleLine(cycle, edges));
  return lines;
}
