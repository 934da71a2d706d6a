// The companion's progress display for people at a console: while the committed regions are
// written, one line on stderr, rewritten in place, with the regions done and the MiB written
// of the committed total. It stands in for the per-region heading lines; every other log
// line is still written plainly, the display cleared before it and drawn again after it.
// It learns its steps from the session's progress events (a region is next, the minidump
// starts) and writes only what the session's text pane gives it, so nothing of it can reach
// the report. A minidump beside the report is one more step on the same line ("minidump
// 0/1", then "1/1"), from the session's line that starts it to the one that tells how it went.
#pragma once

#include <stdint.h>

#include <string>

#include "session/platform.h"

struct CommittedTotal {
  uint32_t regions = 0;
  uint64_t bytes = 0;
};

// The committed regions of the target's user address space, counted as the memory dump
// walks them.
CommittedTotal CountCommittedMemory(HANDLE process);

class ConsoleProgress {
 public:
  using Writer = void (*)(void* context, const char* text);

  // status gets the display's text (with "\r" to return to its start, no line end); line
  // gets the plain log lines (without line end).
  ConsoleProgress(Writer status, Writer line, void* context) : status_(status), line_(line), context_(context) {}

  // The session's event for the committed region at base: its heading is the next line.
  // process is the target's handle, asked for its committed total at the first region.
  void OnRegion(uint32_t base, uint32_t size, HANDLE process);
  // The session's event before its line that starts the minidump writer.
  void OnMinidumpStarting();
  // A line of the session's text pane.
  void OnLogLine(const char* text);

  // The region headings go on to the plain lines as well: for a stdout that is no console
  // (a file or a pipe), while the display is on the console of stderr.
  void KeepRegionLines(bool keep) { keepRegionLines_ = keep; }

  // After the dump: the display's last state stays, ended by a line end.
  void Finish();

  // The dump writes a minidump after the regions: the display counts it.
  void CountMinidump() { minidumpCounted_ = true; }

  // The display's text, e.g. "regions 3/120, 1.2/45.6 MiB" or, counting a minidump,
  // "regions 120/120, 45.6/45.6 MiB, minidump 0/1".
  std::string Text() const;

 private:
  void Draw();
  void Clear();
  void EndRegion();

  Writer status_;
  Writer line_;
  void* context_;
  bool shown_ = false;
  bool started_ = false;
  bool keepRegionLines_ = false;
  CommittedTotal total_;
  uint32_t regionsDone_ = 0;
  uint64_t bytesDone_ = 0;
  uint32_t pendingSize_ = 0;  // the region being written: its heading came, the next has not
  bool regionPending_ = false;
  bool headingNext_ = false;  // the next line is the pending region's heading
  bool minidumpCounted_ = false;
  // Starting: the next line is the one that starts the writer; Writing: the one after it
  // tells how it went.
  enum { kMinidumpAhead, kMinidumpStarting, kMinidumpWriting, kMinidumpOver } minidumpStep_ = kMinidumpAhead;
  size_t drawnWidth_ = 0;
};
