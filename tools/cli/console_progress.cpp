#include "tools/cli/console_progress.h"

#include <stdio.h>
#include <string.h>

#include "session/region_walk.h"

CommittedTotal CountCommittedMemory(HANDLE process) {
  CommittedTotal total;
  RegionWalk walk(process);
  MEMORY_BASIC_INFORMATION region;
  while (walk.Next(region)) {
    if (region.State != MEM_COMMIT) continue;
    ++total.regions;
    total.bytes += static_cast<uint32_t>(region.RegionSize);
  }
  return total;
}

std::string ConsoleProgress::Text() const {
  std::string text;
  if (started_) {
    char regions[96];
    snprintf(regions, sizeof regions, "regions %u/%u, %.1f/%.1f MiB", static_cast<unsigned>(regionsDone_),
             static_cast<unsigned>(total_.regions), static_cast<double>(bytesDone_) / 1048576.0,
             static_cast<double>(total_.bytes) / 1048576.0);
    text = regions;
  }
  if (minidumpCounted_ && (started_ || minidumpStep_ != kMinidumpAhead)) {
    if (!text.empty()) text += ", ";
    text += minidumpStep_ == kMinidumpOver ? "minidump 1/1" : "minidump 0/1";
  }
  return text;
}

void ConsoleProgress::EndRegion() {
  if (!regionPending_) return;
  ++regionsDone_;
  bytesDone_ += pendingSize_;
  pendingSize_ = 0;
  regionPending_ = false;
}

void ConsoleProgress::Draw() {
  // The counts only grow, so each text covers the one drawn before it.
  const std::string text = Text();
  status_(context_, ("\r" + text).c_str());
  drawnWidth_ = text.size();
  shown_ = true;
}

void ConsoleProgress::Clear() {
  if (!shown_) return;
  status_(context_, ("\r" + std::string(drawnWidth_, ' ') + "\r").c_str());
  drawnWidth_ = 0;
  shown_ = false;
}

void ConsoleProgress::OnRegion(uint32_t, uint32_t size, HANDLE process) {
  if (!started_) {
    total_ = CountCommittedMemory(process);
    started_ = true;
  } else {
    EndRegion();
  }
  pendingSize_ = size;
  regionPending_ = true;
  headingNext_ = true;
}

void ConsoleProgress::OnMinidumpStarting() {
  if (!minidumpCounted_ || minidumpStep_ != kMinidumpAhead) return;
  EndRegion();  // the regions are all written before the minidump
  minidumpStep_ = kMinidumpStarting;
}

void ConsoleProgress::OnLogLine(const char* text) {
  if (headingNext_) {
    headingNext_ = false;
    if (keepRegionLines_) line_(context_, text);
    Draw();
    return;
  }
  bool redraw = shown_;
  if (minidumpStep_ == kMinidumpStarting) {
    minidumpStep_ = kMinidumpWriting;
    redraw = true;
  } else if (minidumpStep_ == kMinidumpWriting) {
    minidumpStep_ = kMinidumpOver;  // the writer's one line after its start: written or failed
  }
  Clear();
  line_(context_, text);
  if (redraw) Draw();
}

void ConsoleProgress::Finish() {
  if (!started_ && minidumpStep_ == kMinidumpAhead) return;
  EndRegion();
  Draw();
  started_ = false;
  minidumpStep_ = kMinidumpAhead;
  status_(context_, "\n");
  shown_ = false;
}
