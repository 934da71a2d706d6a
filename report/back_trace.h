// The code around an address and the stack back trace of a thread.
#pragma once

#include <stdint.h>

#include <vector>

#include "report/frame_walk.h"
#include "session/report_context.h"

// The function that holds address and the instructions around it.
void WriteCodeListing(const ReportContext& context, const CThreadContext& thread, uint32_t address);
void WriteBackTrace(const ReportContext& context, const CThreadContext& thread);
// The same from frames already walked for this thread's context.
void WriteBackTrace(const ReportContext& context, const CThreadContext& thread, const std::vector<FrameRecord>& frames);
// The same around a return address: where the bytes allow several starts, the listing takes
// the one whose instruction just before the address is the call that made it.
void WriteReturnAddressListing(const ReportContext& context, const CThreadContext& thread, uint32_t address);
// The same around a frame's return address, through the call its check found.
void WriteFrameListing(const ReportContext& context, const CThreadContext& thread, const FrameRecord& frame);

// The work one code listing took: lengths decoded to find the start, lines disassembled.
struct CodeListingWork {
  uint32_t lengthDecodes = 0;
  uint32_t lineDecodes = 0;
};
void WriteCodeListing(const ReportContext& context, const CThreadContext& thread, uint32_t address, CodeListingWork* work);

// The marker on the frame line of a frame whose return address the stack scan found.
constexpr const char* kScanMarker = " [scan]";
