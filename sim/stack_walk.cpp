// The stand-in's stack walker: follows the simulated target's frames through the callbacks it
// is given, the way the platform's walker does for the two kinds of i386 frame:
// - a frame with a frame pointer (no FPO record, a Non-FPO record, or a trap or TSS record,
//   which the stand-in treats alike): the saved EBP at [EBP], the return address at [EBP+4];
// - an FPO frame: the return address lies above the locals and the saved registers, at
//   ESP + 4 * (cdwLocals + cbRegs); the frame is reported at the word below it, which holds
//   the saved EBP when the function uses EBP for itself (fUseBP), kept in Reserved[0].
// The walk state between calls lives in the context record (the caller's Eip, Esp and Ebp)
// and in Reserved[2] (frames walked so far).
#include <string.h>

#include "sim/sim.h"

namespace {

bool IsFpoFrame(const FPO_DATA* fpo) { return fpo != nullptr && fpo->cbFrame == FRAME_FPO; }

}  // namespace

BOOL StackWalk(DWORD machine, HANDLE process, HANDLE, LPSTACKFRAME frame, PVOID contextRecord,
               PREAD_PROCESS_MEMORY_ROUTINE readMemory, PFUNCTION_TABLE_ACCESS_ROUTINE functionTable,
               PGET_MODULE_BASE_ROUTINE moduleBase, PTRANSLATE_ADDRESS_ROUTINE) {
  CONTEXT* context = static_cast<CONTEXT*>(contextRecord);
  sim::target().stackWalkProcess = process;  // Windows hands it on to the callbacks only
  if (machine != IMAGE_FILE_MACHINE_I386 || frame == nullptr || context == nullptr || readMemory == nullptr) {
    return FALSE;
  }
  const DWORD stuck = sim::target().stackWalkStuckAfter;
  if (stuck != 0 && frame->Reserved[2] >= stuck) return TRUE;  // the frame as it was
  DWORD ebp = frame->AddrFrame.Offset;
  if (frame->Reserved[2] != 0) {
    // Frame n + 1 is the caller of frame n; the caller must lie further up the stack.
    if (frame->AddrReturn.Offset == 0 || context->Esp <= frame->AddrStack.Offset) return FALSE;
    frame->AddrPC.Offset = frame->AddrReturn.Offset;
    frame->AddrStack.Offset = context->Esp;
    ebp = context->Ebp;
  }
  const DWORD pc = frame->AddrPC.Offset;
  if (moduleBase != nullptr) moduleBase(process, pc);
  const FPO_DATA* fpo = functionTable ? static_cast<const FPO_DATA*>(functionTable(process, pc)) : nullptr;
  const DWORD framePointer = IsFpoFrame(fpo) ? frame->AddrStack.Offset + 4 * (fpo->cdwLocals + fpo->cbRegs) - 4 : ebp;

  // [frame]: saved EBP (or a word of the FPO frame), return address, four parameters.
  DWORD words[6] = {0}, count = 0;
  if (!readMemory(process, framePointer, words, sizeof words, &count) || count != sizeof words) return FALSE;
  frame->AddrFrame.Offset = framePointer;
  frame->AddrReturn.Offset = words[1];
  memcpy(frame->Params, words + 2, sizeof frame->Params);
  frame->FuncTableEntry = const_cast<FPO_DATA*>(fpo);
  frame->Reserved[0] = IsFpoFrame(fpo) && fpo->fUseBP ? words[0] : 0;

  // What the caller sees: the stack above the return address and, unless this frame kept
  // its EBP untouched, the EBP saved at the frame.
  context->Eip = words[1];
  context->Esp = framePointer + 8;
  context->Ebp = IsFpoFrame(fpo) && !fpo->fUseBP ? ebp : words[0];
  ++frame->Reserved[2];
  return TRUE;
}
