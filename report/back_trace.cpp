#include "report/back_trace.h"

#include <string.h>

#include <string>

#include "report/disassemble_target.h"
#include "report/call_site.h"
#include "report/code_sync.h"
#include "session/symbol_service.h"

namespace {

constexpr uint32_t kUnknownSpan = 100;     // a symbol without size, or no symbol at all
constexpr uint32_t kUnknownBackOff = 50;   // how far before an address without symbol to start
// The furthest back from an address the listing's start search decodes. A symbol that starts
// further away (an export far below a return address, say) still names the address, but the
// listing starts at the address itself, or at the call that ends there: both are instruction
// boundaries, where a start a fixed distance back would decode from inside an instruction.
constexpr uint32_t kMaxListingBackOff = 0x1000;
constexpr const char* kNoSymbol = "<nosymbols>";

// The symbol lookup every caller here makes, with the name as a line shows it.
bool LookUpSymbol(const CTarget& target, uint32_t address, CSymbol* symbol, std::string* shown) {
  if (!target.symbols().LookUp(address, symbol)) return false;
  *shown = ShownSymbolName(*symbol);
  return true;
}

bool LookUpModule(const CTarget& target, uint32_t address, IMAGEHLP_MODULE* module) {
  memset(module, 0, sizeof *module);
  module->SizeOfStruct = sizeof *module;
  return SymGetModuleInfo(target.process(), address, module) != FALSE;
}

struct CodeSpan {
  uint32_t start;
  uint32_t span;
  std::string name;
};

// site: the call that ends at address, when one is known to.
CodeSpan SpanAround(const CTarget& target, uint32_t address, const CallSite* site) {
  CSymbol symbol;
  std::string shown;
  if (!LookUpSymbol(target, address, &symbol, &shown)) return {address - kUnknownBackOff, kUnknownSpan, kNoSymbol};
  if (address - symbol.address >= kMaxListingBackOff) {
    CallSite found;
    if (site == nullptr && CallEndsAt(target, address, &found)) site = &found;
    if (site != nullptr) return {address - site->length, kUnknownSpan, shown};
    return {address, kUnknownSpan, shown};
  }
  return {symbol.address, symbol.size != 0 ? symbol.size : kUnknownSpan, shown};
}

// Prints the instructions numbered first to last + 1 of the pass from found.start. Those
// before first are only stepped over, by their lengths.
void ListInstructions(const ReportContext& context, const CThreadContext& thread, CInstructionLengths& lengths,
                      const CodeSpan& code, const ListingStart& found, CodeListingWork& work) {
  CReportOutput& report = context.report;
  const CTarget& target = context.target;
  const int64_t count = context.options.instructionCount;
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
      if (!Disassemble(target, thread, cursor, line, true)) return;
      report.Print("        ");
      report.Print("%s\r\n", line);
    }
    if (i > last) return;
  }
}

void PrintFpo(CReportOutput& report, const FrameRecord& frame) {
  const FPO_DATA& fpo = *frame.fpo;
  const int params = fpo.cdwParams;
  const int locals = static_cast<int>(fpo.cdwLocals);
  const int registers = fpo.cbRegs;
  switch (fpo.cbFrame) {
    case FRAME_FPO:
      if (fpo.fHasSEH) {
        report.Print("(FPO: [SEH])");
        return;
      }
      report.Print(" (FPO:");
      if (fpo.fUseBP) report.Print(" [EBP 0x%08x]", static_cast<unsigned>(frame.savedEbp));
      report.Print(" [%d,%d,%d])", params, locals, registers);
      return;
    case FRAME_NONFPO:
      report.Print("(FPO: Non-FPO [%d,%d,%d])", params, locals, registers);
      return;
    default:  // FRAME_TRAP, FRAME_TSS
      report.Print("(UNKNOWN FPO TYPE)");
      return;
  }
}

void PrintFrameLine(const ReportContext& context, const FrameRecord& frame) {
  CReportOutput& report = context.report;
  const CTarget& target = context.target;
  const uint32_t pc = frame.pc;
  CSymbol symbol;
  std::string shown;
  const char* name = LookUpSymbol(target, pc, &symbol, &shown) ? shown.c_str() : kNoSymbol;
  report.Print("FramePtr ReturnAd Param#1  Param#2  Param#3  Param#4  Function Name\r\n");
  report.Print("%08x %08x %08x %08x %08x %08x ", static_cast<unsigned>(frame.framePointer),
                static_cast<unsigned>(frame.returnAddress), static_cast<unsigned>(frame.params[0]),
                static_cast<unsigned>(frame.params[1]), static_cast<unsigned>(frame.params[2]),
                static_cast<unsigned>(frame.params[3]));
  IMAGEHLP_MODULE module;
  if (LookUpModule(target, pc, &module)) report.Print("%s!", module.ModuleName);
  report.Print("%s%s ", name, frame.scanned() ? kScanMarker : "");
  // A lookup that found nothing shows the flags of the last one that found a symbol.
  if ((target.symbols().lastFoundFlags() & (SYMF_OMAP_GENERATED | SYMF_OMAP_MODIFIED)) != 0) {
    report.Print("[omap] ");
  }
  if (frame.fpo != nullptr) PrintFpo(report, frame);
  report.Print("\r\n");
}

// Around a return address the listing should show the call that made it: of the starts
// whose decoding meets the address, the one that meets it through that call is taken, so
// that the lines before the address are the instructions that ran, not a phase of the bytes
// that only meets the address by chance.
bool FindStartThroughCall(CInstructionLengths& lengths, const CodeSpan& code, uint32_t address, const CallSite& site,
                          ListingStart* found) {
  const uint32_t call = address - site.length;
  if (call < code.start || address - code.start >= code.span) return false;
  ListingStart atCall;
  uint32_t length = 0;
  if (!FindListingStart(lengths, code.start, code.span, call, &atCall) || address - atCall.start >= code.span ||
      !lengths.Length(call, &length) || length != site.length) {
    return false;
  }
  found->start = atCall.start;
  found->index = atCall.index + 1;
  return true;
}

// site: the call that made address, for the listing around a return address; null for any
// other address.
void WriteListing(const ReportContext& context, const CThreadContext& thread, uint32_t address, const CallSite* site,
                  CodeListingWork* work) {
  CReportOutput& report = context.report;
  const CTarget& target = context.target;
  CodeListingWork ignored;
  if (work == nullptr) work = &ignored;
  const CodeSpan code = SpanAround(target, address, site);
  report.Print("function: %s\r\n", code.name.c_str());

  uint32_t low = 0, count = 0;
  ListingSearchRange(code.start, code.span, address, &low, &count);
  CInstructionLengths lengths(target, low, count);
  ListingStart found;
  if ((site != nullptr && FindStartThroughCall(lengths, code, address, *site, &found)) ||
      FindListingStart(lengths, code.start, code.span, address, &found)) {
    ListInstructions(context, thread, lengths, code, found, *work);
  }
  work->lengthDecodes += lengths.decodes();
  report.Print("\r\n");
}

}  // namespace

void WriteCodeListing(const ReportContext& context, const CThreadContext& thread, uint32_t address, CodeListingWork* work) {
  WriteListing(context, thread, address, nullptr, work);
}

void WriteReturnAddressListing(const ReportContext& context, const CThreadContext& thread, uint32_t address) {
  CallSite site;
  WriteListing(context, thread, address, CallEndsAt(context.target, address, &site) ? &site : nullptr, nullptr);
}

void WriteFrameListing(const ReportContext& context, const CThreadContext& thread, const FrameRecord& frame) {
  // A return address of 0 or one the walker's last frame gave unchecked has no call.
  const bool called = frame.returnAddress != 0 && frame.call.length != 0;
  WriteListing(context, thread, frame.returnAddress, called ? &frame.call : nullptr, nullptr);
}

void WriteCodeListing(const ReportContext& context, const CThreadContext& thread, uint32_t address) {
  WriteCodeListing(context, thread, address, nullptr);
}

void WriteBackTrace(const ReportContext& context, const CThreadContext& thread) {
  // The walk works on its own copy of the context; the thread's stays as read.
  CFrameWalk walk(context.target, thread);
  context.report.Print("*----> Stack Back Trace <----*\r\n\r\n");
  FrameRecord frame;
  while (walk.Next(&frame)) {
    PrintFrameLine(context, frame);
    WriteFrameListing(context, thread, frame);
  }
  context.report.Print("\r\n");
}

void WriteBackTrace(const ReportContext& context, const CThreadContext& thread, const std::vector<FrameRecord>& frames) {
  context.report.Print("*----> Stack Back Trace <----*\r\n\r\n");
  for (const FrameRecord& frame : frames) {
    PrintFrameLine(context, frame);
    WriteFrameListing(context, thread, frame);
  }
  context.report.Print("\r\n");
}
