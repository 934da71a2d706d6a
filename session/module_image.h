// What the target's modules say of themselves in their images: where each module's code lies
// (to believe return addresses), where its functions likely start (direct calls and function
// pointers in its code) and what it exports (for symbols where the handler has none). All of it
// comes from the module's headers in the target's memory, read once per module record and kept
// until Clear (after each report: the target may change once it runs again).
//
// A module that was unloaded keeps its record, and another may since have been loaded at its
// place: an address belongs to the latest record of a module still loaded whose image holds it,
// else to the latest record of any.
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "session/export_table.h"
#include "session/module.h"
#include "session/target_memory.h"
#include "session/text_pane.h"

class CModuleImages {
 public:
  // modules is the session's module table and memory its reads of the target; log (kept by
  // reference, as the session's own pane) gets the lines that say what of an image could not
  // be used, one per module record and kind at its first use. The header page is read by the
  // retry rule: its byte count decides what of the section table counts as in the first page.
  CModuleImages(const std::vector<CModule>& modules, CTargetMemory& memory, const TextPane& log);
  CModuleImages(const CModuleImages&) = delete;
  CModuleImages& operator=(const CModuleImages&) = delete;

  // True when address lies in an executable section of the module that holds it.
  bool Holds(uint32_t address);
  // The executable section that holds address: [*start, *end) in the target. False when
  // address lies in none.
  bool SectionAt(uint32_t address, uint32_t* start, uint32_t* end);
  // Where the function that holds address most likely starts when no symbol says so: the
  // nearest address at or below it, in the same executable section, that the section's code
  // calls directly (E8 rel32) or takes as a function pointer (an immediate operand of a
  // push or a move). The section's bytes are read once, at the first question.
  bool FunctionStartAtOrBelow(uint32_t address, uint32_t* start);
  // The exported function whose span holds address, with its name; false when there is none.
  bool ExportAt(uint32_t address, const ExportedFunction** function, const char** name);

  void Clear() { images.clear(); }

 private:
  struct Range {
    uint32_t start;  // relative to the module's base
    uint32_t end;
  };
  struct Targets {
    uint32_t start;                // the section's, relative to the module's base
    std::vector<uint32_t> sorted;  // absolute addresses of likely function starts in the section
  };
  struct Image {
    std::vector<uint8_t> headerPage;  // as much of the image's first page as could be read
    bool headerPageWhole = false;     // the read of it succeeded: the export parser may use it
    bool sectionsRead = false;
    std::vector<Range> ranges;  // empty when the headers could not be used
    std::vector<Targets> targets;
    bool exportsRead = false;
    CExportTable exports;  // empty when the module has no usable export directory
  };

  // The record of the module table that address belongs to; modules.size() for none.
  size_t RecordAt(uint32_t address) const;
  Image& ImageOf(size_t record);
  // The executable section of the record that holds address, its ranges read at the first use.
  const Range* SectionOf(size_t record, uint32_t address);
  void ReadSections(const CModule& module, Image& image);
  void ReadExports(const CModule& module, Image& image);
  Targets ReadTargets(uint32_t base, const Range& range);
  void WriteLine(const std::string& line) const;

  const std::vector<CModule>& modules;
  CTargetMemory& memory;
  const TextPane& log;
  std::vector<std::unique_ptr<Image>> images;  // by record, read at the first question about it
};
