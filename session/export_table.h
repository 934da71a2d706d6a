// The exported functions of the target's modules, read from each module's export directory
// in the target's memory. They stand in for symbols where the symbol handler has none (Wine's
// handler knows nothing inside its own DLLs): a frame in a system DLL then still reads as the
// exported function it lies in, and its code listing starts at a real function start.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// Reads of the target as the export parser needs them: up to size bytes at address into
// buffer. *count receives how many bytes from address on were read (those before the first
// that could not be); the result is false when not even one was.
struct TargetReader {
  bool (*read)(void* context, uint32_t address, void* buffer, uint32_t size, uint32_t* count);
  void* context;

  bool Read(uint32_t address, void* buffer, uint32_t size, uint32_t* count) const {
    *count = 0;
    return read(context, address, buffer, size, count);
  }
};

struct ExportedFunction {
  uint32_t address;     // in the target
  uint32_t size;        // up to the next exported function, data directory or the end of its section
  uint32_t nameOffset;  // into the table's name pool, NUL-terminated there
};

// One module's exported functions, sorted by address: one per address, forwarded ones, data
// (those outside executable sections or inside a data directory of the image) left out, "#N"
// (the ordinal) for those without a readable name.
class CExportTable {
 public:
  // Reads the export directory of the module at base. False: the module has none that can be
  // used, and *problem says why (empty when it simply has none). True with *problem set: the
  // directory could be read only in part, and *problem says what was left out. The first
  // frontCount bytes of the image, when given in front, are taken from there, not read again.
  bool Read(const TargetReader& reader, uint32_t base, uint32_t imageSize, std::string* problem,
            const uint8_t* front = nullptr, uint32_t frontCount = 0);

  // The function whose span holds address, or null.
  const ExportedFunction* FunctionAt(uint32_t address) const;
  const char* NameOf(const ExportedFunction& function) const { return names.c_str() + function.nameOffset; }
  size_t size() const { return functions.size(); }
  const std::vector<ExportedFunction>& all() const { return functions; }

 private:
  std::vector<ExportedFunction> functions;
  std::string names;
};
