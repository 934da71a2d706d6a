// The stand-in's stack walker: follows the EBP chain of the simulated target through the
// callbacks it is given, as the platform's walker does for frames with a frame pointer.
#include "sim/sim.h"

#include <string.h>

BOOL StackWalk(DWORD machine, HANDLE process, HANDLE, LPSTACKFRAME frame, PVOID, PREAD_PROCESS_MEMORY_ROUTINE readMemory,
               PFUNCTION_TABLE_ACCESS_ROUTINE functionTable, PGET_MODULE_BASE_ROUTINE, PTRANSLATE_ADDRESS_ROUTINE) {
  if (machine != IMAGE_FILE_MACHINE_I386 || frame == nullptr || readMemory == nullptr) return FALSE;
  // Frame n + 1 starts where frame n returns to; Reserved[2] counts the frames walked.
  if (frame->Reserved[2] != 0) {
    if (frame->AddrReturn.Offset == 0) return FALSE;
    DWORD savedFrame = 0, count = 0;
    if (!readMemory(process, frame->AddrFrame.Offset, &savedFrame, 4, &count) || count != 4) return FALSE;
    if (savedFrame <= frame->AddrFrame.Offset) return FALSE;
    frame->AddrPC.Offset = frame->AddrReturn.Offset;
    frame->AddrStack.Offset = frame->AddrFrame.Offset + 8;
    frame->AddrFrame.Offset = savedFrame;
  }
  DWORD words[6] = {0}, count = 0;
  if (!readMemory(process, frame->AddrFrame.Offset, words, sizeof words, &count) || count != sizeof words) return FALSE;
  frame->AddrReturn.Offset = words[1];
  memcpy(frame->Params, words + 2, sizeof frame->Params);
  frame->FuncTableEntry = functionTable ? functionTable(process, frame->AddrPC.Offset) : nullptr;
  ++frame->Reserved[2];
  return TRUE;
}
