#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include "report/exception_section.h"
#include "report/report.h"
#include "session/exit_status.h"
#include "test_support.h"

namespace {

ExceptionFacts Facts(uint32_t code, uint32_t address, std::vector<uint32_t> parameters, uint32_t claimed = 0xFFFFFFFF) {
  ExceptionFacts facts;
  facts.code = code;
  facts.address = address;
  facts.parameterCount = claimed != 0xFFFFFFFF ? claimed : static_cast<uint32_t>(parameters.size());
  for (size_t i = 0; i < parameters.size() && i < kMostExceptionParameters; ++i) facts.parameters[i] = parameters[i];
  return facts;
}

struct TextCase {
  const char* name;
  ExceptionFacts facts;
  bool firstChance;
  std::string where;
  std::vector<std::string> lines;
};

class ExceptionTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(ExceptionTexts, AreExact) {
  const TextCase& c = GetParam();
  std::vector<std::string> lines{ExceptionLine(c.facts, c.firstChance, 0x1a4, c.where)};
  for (const std::string& line : ParameterLines(c.facts)) lines.push_back(line);
  EXPECT_EQ(lines, c.lines);
}

const std::vector<uint32_t> kSixteen{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

INSTANTIATE_TEST_SUITE_P(
    Crash, ExceptionTexts,
    ::testing::Values(
        TextCase{"read", Facts(0xC0000005, 0x004015b2, {0, 0}), false, "prog+0x15b2",
                 {"Exception c0000005 EXCEPTION_ACCESS_VIOLATION (second chance) in thread 0x1a4 at 004015b2 prog+0x15b2",
                  "Reading from 00000000"}},
        TextCase{"write", Facts(0xC0000005, 0x00401000, {1, 0x00f40000}), true, "prog!f+0x3",
                 {"Exception c0000005 EXCEPTION_ACCESS_VIOLATION (first chance) in thread 0x1a4 at 00401000 prog!f+0x3",
                  "Writing to 00f40000"}},
        TextCase{"execute", Facts(0xC0000005, 0xdeadbeef, {8, 0xdeadbeef}), false, "",
                 {"Exception c0000005 EXCEPTION_ACCESS_VIOLATION (second chance) in thread 0x1a4 at deadbeef",
                  "Executing at deadbeef"}},
        TextCase{"odd_access_kind", Facts(0xC0000005, 0xffffffff, {3, 0x10}), false, "",
                 {"Exception c0000005 EXCEPTION_ACCESS_VIOLATION (second chance) in thread 0x1a4 at ffffffff",
                  "Parameters: 00000003 00000010"}},
        TextCase{"in_page", Facts(0xC0000006, 0x00401000, {0, 0x00500000, 0xC000009C}), false, "",
                 {"Exception c0000006 EXCEPTION_IN_PAGE_ERROR (second chance) in thread 0x1a4 at 00401000",
                  "Reading from 00500000 (status c000009c)"}},
        TextCase{"divide_no_parameters", Facts(0xC0000094, 0, {}), false, "",
                 {"Exception c0000094 EXCEPTION_INT_DIVIDE_BY_ZERO (second chance) in thread 0x1a4 at 00000000"}},
        TextCase{"unknown_code", Facts(0xE0001234, 0x7b00c0de, {1, 0x22, 0x333}), true, "kernelbase!RaiseException+0x4e",
                 {"Exception e0001234 (first chance) in thread 0x1a4 at 7b00c0de kernelbase!RaiseException+0x4e",
                  "Parameters: 00000001 00000022 00000333"}},
        TextCase{"cpp", Facts(0xE06D7363, 1, {0x19930520}), false, "",
                 {"Exception e06d7363 C++ exception (second chance) in thread 0x1a4 at 00000001",
                  "Parameters: 19930520"}},
        TextCase{"too_many_parameters", Facts(0xC00000FD, 2, kSixteen, 16), false, "",
                 {"Exception c00000fd EXCEPTION_STACK_OVERFLOW (second chance) in thread 0x1a4 at 00000002",
                  "Parameters: 00000001 00000002 00000003 00000004 00000005 00000006 00000007 00000008 00000009 "
                  "0000000a 0000000b 0000000c 0000000d 0000000e 0000000f",
                  "The record claims 16 parameters; a record holds 15"}},
        TextCase{"short_access_violation", Facts(0xC0000005, 3, {1}), false, "",
                 {"Exception c0000005 EXCEPTION_ACCESS_VIOLATION (second chance) in thread 0x1a4 at 00000003",
                  "Parameters: 00000001"}}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

// The loop in each report moment, over the attach events and what follows them.
struct LoopCase {
  const char* name;
  ReportMoment moment;
  // After the attach events: {code, first chance} of each exception of the main thread.
  std::vector<std::pair<DWORD, DWORD>> exceptions;
  bool exits;           // then the target exits by itself with code 3
  bool eventIsEvent;    // the attach event handle is an event (else one SetEvent cannot take)
  std::vector<DWORD> continues;  // after the two creation events
  uint32_t reports;
  DumpExitCode status;
  std::string line;     // a line the pane must show, or empty
};

class CrashLoop : public ::testing::TestWithParam<LoopCase> {};

TEST_P(CrashLoop, FollowsTheMoment) {
  const LoopCase& c = GetParam();
  sim::Reset();
  LineRecorder log;
  const std::string dir = ScratchDir();
  const std::string reportPath = dir + "/crash.txt";
  std::unique_ptr<CLogFile> session(new CLogFile(sim::WideText(reportPath).c_str(), log.pane, ReportCreation::kAfterAttach));
  session->AddListener(ReportListener());
  session->options.symbolTableEnabled = false;
  session->options.memoryDumpEnabled = false;
  session->options.reportAt = c.moment;
  session->options.attachedEvent = c.eventIsEvent ? sim::target().eventHandle : reinterpret_cast<HANDLE>(0x77);
  sim::AddModule("C:\\app\\prog.exe", 0x00400000, 0x3c000);
  sim::AddThread(0x24);
  sim::AddThread(0xe4);
  sim::ScriptAttachEvents();
  const DEBUG_EVENT breakpoint = sim::target().events.back();
  for (const auto& e : c.exceptions) {
    DEBUG_EVENT event = breakpoint;
    event.dwThreadId = 0x24;
    event.u.Exception.ExceptionRecord.ExceptionCode = e.first;
    event.u.Exception.dwFirstChance = e.second;
    sim::target().events.push_back(event);
  }
  if (c.exits) {
    DEBUG_EVENT exit{};
    exit.dwDebugEventCode = EXIT_PROCESS_DEBUG_EVENT;
    exit.dwProcessId = 1234;
    exit.u.ExitProcess.dwExitCode = 3;
    sim::target().events.push_back(exit);
  }
  const bool attached = session->RunDebugLoop(1234);
  std::vector<DWORD> continues = sim::Continues();
  continues.erase(continues.begin(), continues.begin() + 2);
  EXPECT_EQ(continues, c.continues);
  EXPECT_EQ(session->reportsWritten, c.reports);
  EXPECT_EQ(DumpExitStatus(*session, attached), c.status);
  // The attach event is signalled once, at the attach breakpoint: after every creation event.
  const std::vector<std::string>& calls = sim::DebugControlCalls();
  ASSERT_EQ(std::count(calls.begin(), calls.end(), "SetEvent"), 1);
  const size_t signalled = static_cast<size_t>(std::find(calls.begin(), calls.end(), "SetEvent") - calls.begin());
  EXPECT_EQ(signalled, 3u);  // after the attach and the two creation events
  if (!c.line.empty()) EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), c.line), log.lines.end()) << c.name;
  session.reset();
  struct stat st;
  const bool reportExists = stat(reportPath.c_str(), &st) == 0;
  EXPECT_EQ(reportExists, c.reports > 0);
  if (c.reports > 0) {
    const std::string report = ReadWholeFile(reportPath);
    EXPECT_EQ(report.find("*----> Exception <----*") != std::string::npos, c.moment != ReportMoment::kFirstException);
  }
}

const DWORD kNotHandled = DBG_EXCEPTION_NOT_HANDLED;
const DWORD kAv = EXCEPTION_ACCESS_VIOLATION;

INSTANTIATE_TEST_SUITE_P(
    Crash, CrashLoop,
    ::testing::Values(
        LoopCase{"attach_moment_unchanged", ReportMoment::kFirstException, {}, false, true, {kNotHandled}, 1, kExitDumped, ""},
        LoopCase{"second_chance", ReportMoment::kUnhandled, {{kAv, 1}, {kAv, 0}}, false, true,
                 {DBG_CONTINUE, kNotHandled, kNotHandled}, 1, kExitDumped, ""},
        LoopCase{"handled_then_exit", ReportMoment::kUnhandled, {{kAv, 1}}, true, true, {DBG_CONTINUE, kNotHandled}, 0,
                 kExitTargetExited, "Process 1234 exited with code 3 (0x00000003) before it crashed; no report written"},
        LoopCase{"first_chance_error", ReportMoment::kFirstChanceError, {{EXCEPTION_BREAKPOINT, 1}, {kAv, 1}}, false, true,
                 {DBG_CONTINUE, kNotHandled, kNotHandled}, 1, kExitDumped, ""},
        LoopCase{"second_crash_no_second_report", ReportMoment::kUnhandled, {{kAv, 0}, {kAv, 0}}, false, true,
                 {DBG_CONTINUE, kNotHandled, kNotHandled}, 1, kExitDumped,
                 "A further exception c0000005 in thread 0x24 while the target is ended; no second report"},
        LoopCase{"handle_not_an_event", ReportMoment::kUnhandled, {{kAv, 0}}, false, false, {DBG_CONTINUE, kNotHandled}, 1,
                 kExitDumped, "Can't signal the attach event 0x77 (e=6); the dump goes on"}),
    [](const ::testing::TestParamInfo<LoopCase>& info) { return std::string(info.param.name); });

}  // namespace
