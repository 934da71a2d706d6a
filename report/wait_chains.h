// The wait-chain section: after the module list, one line per thread saying what it waits
// for and who holds it, found from the outermost wait call of its back trace and that
// call's arguments, then one line per deadlock of the wait-for graph. Each deadlock line
// also goes to the text pane.
#pragma once

#include <vector>

#include "report/frame_walk.h"
#include "report/wait_text.h"
#include "session/report_context.h"

// The frames of every thread of the table, in table order, from contexts already read: the
// section and the thread's back trace share them.
std::vector<std::vector<FrameRecord>> WalkThreads(const CTarget& target);

// What one thread waits for, from its frames.
ThreadWait DescribeWait(const CTarget& target, const CThreadContext& thread, const std::vector<FrameRecord>& frames);

void WriteWaitChains(const ReportContext& context, const std::vector<std::vector<FrameRecord>>& frames);

constexpr const char* kWaitChainsHeading = "*----> Wait Chains <----*\r\n";
