#include "report/back_trace.h"

#include <string.h>

#include "disasm/disassemble.h"
#include "report/code_sync.h"
#include "session/symbol_lookup.h"

namespace {

constexpr uint32_t kUnknownSpan = 100;     // a symbol without size, or no symbol at all
constexpr uint32_t kUnknownBackOff = 50;   // how far before an address without symbol to start
constexpr int kMaxFrames = 100;
// The furthest back from an address the listing's start search decodes. A symbol that starts
// further away (an export far below a return address, say) still names the address, but the
// listing starts at the address itself, or at the call that ends there: both are instruction
// boundaries, where a start a fixed distance back would decode from inside an instruction.
constexpr uint32_t kMaxListingBackOff = 0x1000;
constexpr uint32_t kCallLengths[] = {5, 6, 2, 3, 7, 4};  // call rel32 first, then call r/m32 forms
constexpr const char* kNoSymbol = "<nosymbols>";

CLogFile& SessionOf(HANDLE handle) { return *static_cast<CLogFile*>(handle); }
HANDLE HandleOf(CLogFile& session) { return static_cast<HANDLE>(&session); }

// The symbol lookup every caller here makes, with the name as a line shows it; the buffer
// keeps what the last successful one left, which is what the frame line's OMAP test reads.
bool LookUpSymbol(CLogFile& session, uint32_t address, char* shown) {
  uint32_t displacement = 0;
  bool fromExports = false;
  if (!LookUpSymbolAt(session, address, &displacement, &fromExports)) return false;
  ShownSymbolName(*session.symbolBuffer, displacement, fromExports, shown, kShownSymbolNameSize);
  return true;
}

bool LookUpModule(CLogFile& session, uint32_t address, IMAGEHLP_MODULE* module) {
  memset(module, 0, sizeof *module);
  module->SizeOfStruct = sizeof *module;
  return SymGetModuleInfo(session.process, address, module) != FALSE;
}

struct CodeSpan {
  uint32_t start;
  uint32_t span;
  const char* name;
};

// A call instruction of exactly length bytes that ends at address.
bool CallEndsAt(CLogFile& session, uint32_t address, uint32_t length) {
  uint8_t head[2] = {};
  uint32_t count = 0, decoded = 0;
  const uint32_t start = address - length;
  if (!session.ReadTargetMemory(start, head, sizeof head, &count, true) || count != sizeof head) return false;
  const bool call = head[0] == 0xE8 || (head[0] == 0xFF && ((head[1] >> 3) & 7) == 2);
  return call && DisassembleLength(session, start, &decoded) && decoded == length;
}

CodeSpan SpanAround(CLogFile& session, uint32_t address, char* shown) {
  if (!LookUpSymbol(session, address, shown)) return {address - kUnknownBackOff, kUnknownSpan, kNoSymbol};
  const IMAGEHLP_SYMBOL& symbol = *session.symbolBuffer;
  if (address - symbol.Address >= kMaxListingBackOff) {
    for (uint32_t length : kCallLengths) {
      if (CallEndsAt(session, address, length)) return {address - length, kUnknownSpan, shown};
    }
    return {address, kUnknownSpan, shown};
  }
  return {symbol.Address, symbol.Size != 0 ? symbol.Size : kUnknownSpan, shown};
}

// Prints the instructions numbered first to last + 1 of the pass from found.start. Those
// before first are only stepped over, by their lengths.
void ListInstructions(CLogFile& session, const CThreadContext& thread, CInstructionLengths& lengths,
                      const CodeSpan& code, const ListingStart& found, CodeListingWork& work) {
  const int64_t count = session.instructionCount;
  const int64_t first = found.index - count > 0 ? found.index - count : 0;
  const int64_t last = found.index + count;
  const uint32_t end = found.start + code.span;
  char line[kListingLineSize];
  uint32_t cursor = found.start;
  for (int64_t i = 0; cursor < end; ++i) {
    if (i < first) {
      uint32_t length = 0;
      if (!lengths.Length(cursor, &length)) return;
      cursor += length;
    } else {
      ++work.lineDecodes;
      if (!Disassemble(session, thread, cursor, line, true)) return;
      session.Print("        ");
      session.Print("%s\r\n", line);
    }
    if (i > last) return;
  }
}

void PrintFpo(CLogFile& session, const STACKFRAME& frame) {
  const FPO_DATA& fpo = *static_cast<const FPO_DATA*>(frame.FuncTableEntry);
  const int params = fpo.cdwParams;
  const int locals = static_cast<int>(fpo.cdwLocals);
  const int registers = fpo.cbRegs;
  switch (fpo.cbFrame) {
    case FRAME_FPO:
      if (fpo.fHasSEH) {
        session.Print("(FPO: [SEH])");
        return;
      }
      session.Print(" (FPO:");
      if (fpo.fUseBP) session.Print(" [EBP 0x%08x]", static_cast<unsigned>(frame.Reserved[0]));
      session.Print(" [%d,%d,%d])", params, locals, registers);
      return;
    case FRAME_NONFPO:
      session.Print("(FPO: Non-FPO [%d,%d,%d])", params, locals, registers);
      return;
    default:  // FRAME_TRAP, FRAME_TSS
      session.Print("(UNKNOWN FPO TYPE)");
      return;
  }
}

void PrintFrameLine(CLogFile& session, const STACKFRAME& frame) {
  const uint32_t pc = frame.AddrPC.Offset;
  char shown[kShownSymbolNameSize];
  const char* name = LookUpSymbol(session, pc, shown) ? shown : kNoSymbol;
  session.Print("FramePtr ReturnAd Param#1  Param#2  Param#3  Param#4  Function Name\r\n");
  session.Print("%08x %08x %08x %08x %08x %08x ", static_cast<unsigned>(frame.AddrFrame.Offset),
                static_cast<unsigned>(frame.AddrReturn.Offset), static_cast<unsigned>(frame.Params[0]),
                static_cast<unsigned>(frame.Params[1]), static_cast<unsigned>(frame.Params[2]),
                static_cast<unsigned>(frame.Params[3]));
  IMAGEHLP_MODULE module;
  if (LookUpModule(session, pc, &module)) session.Print("%s!", module.ModuleName);
  session.Print("%s ", name);
  // A lookup that found nothing leaves the flags of the one before.
  if (session.symbolBuffer != nullptr &&
      (session.symbolBuffer->Flags & (SYMF_OMAP_GENERATED | SYMF_OMAP_MODIFIED)) != 0) {
    session.Print("[omap] ");
  }
  if (frame.FuncTableEntry != nullptr) PrintFpo(session, frame);
  session.Print("\r\n");
}

void SetFlat(ADDRESS& address, uint32_t offset) {
  address.Offset = offset;
  address.Mode = AddrModeFlat;
}

}  // namespace

void WriteCodeListing(CLogFile& session, const CThreadContext& thread, uint32_t address, CodeListingWork* work) {
  CodeListingWork ignored;
  if (work == nullptr) work = &ignored;
  char shown[kShownSymbolNameSize];
  const CodeSpan code = SpanAround(session, address, shown);
  session.Print("function: %s\r\n", code.name);

  uint32_t low = 0, count = 0;
  ListingSearchRange(code.start, code.span, address, &low, &count);
  CInstructionLengths lengths(session, low, count);
  ListingStart found;
  if (FindListingStart(lengths, code.start, code.span, address, &found)) {
    ListInstructions(session, thread, lengths, code, found, *work);
  }
  work->lengthDecodes += lengths.decodes();
  session.Print("\r\n");
}

void WriteCodeListing(CLogFile& session, const CThreadContext& thread, uint32_t address) {
  WriteCodeListing(session, thread, address, nullptr);
}

void WriteBackTrace(CLogFile& session, const CThreadContext& thread) {
  // The walker may change the context it is given; the thread's own stays as read.
  CONTEXT context = thread.context;
  STACKFRAME frame;
  memset(&frame, 0, sizeof frame);
  SetFlat(frame.AddrPC, thread.eip);
  SetFlat(frame.AddrFrame, thread.ebp);
  SetFlat(frame.AddrStack, thread.esp);

  session.Print("*----> Stack Back Trace <----*\r\n\r\n");
  for (int i = 0; i < kMaxFrames; ++i) {
    if (!StackWalk(IMAGE_FILE_MACHINE_I386, HandleOf(session), nullptr, &frame, &context, StackReadMemory,
                   StackFunctionTable, StackModuleBase, StackTranslateAddress)) {
      break;
    }
    PrintFrameLine(session, frame);
    WriteCodeListing(session, thread, frame.AddrReturn.Offset);
  }
  session.Print("\r\n");
}

BOOL WINAPI StackReadMemory(HANDLE session, DWORD address, PVOID buffer, DWORD size, PDWORD bytesRead) {
  uint32_t count = 0;
  const bool ok = SessionOf(session).ReadTargetMemory(address, buffer, size, &count, true);
  if (bytesRead != nullptr) *bytesRead = count;
  return ok ? TRUE : FALSE;
}

PVOID WINAPI StackFunctionTable(HANDLE session, DWORD address) {
  return SymFunctionTableAccess(SessionOf(session).process, address);
}

DWORD WINAPI StackModuleBase(HANDLE session, DWORD address) {
  IMAGEHLP_MODULE module;
  return LookUpModule(SessionOf(session), address, &module) ? module.BaseOfImage : 0;
}

DWORD WINAPI StackTranslateAddress(HANDLE, HANDLE, LPADDRESS) { return 0; }
