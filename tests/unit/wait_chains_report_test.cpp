// The report with its wait-chain section: without the section it is byte for byte the report
// the driver wrote before the section came (header, then per thread: context, heading,
// registers, listing, a back trace walked on its own, raw stack), and every thread is walked
// and read once.
#include <gtest/gtest.h>

#include "report/back_trace.h"
#include "report/raw_stack.h"
#include "report/registers.h"
#include "tests/unit/code_module.h"
#include "tests/unit/test_support.h"

namespace {

constexpr DWORD kModule = 0x400000;
constexpr DWORD kCode = 0x401000;
constexpr DWORD kStack = 0x120000;

void Word(DWORD address, DWORD value) {
  sim::Fill(address, {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                      static_cast<BYTE>(value >> 24)});
}

// Threads with EBP chains through fn_a, fn_b, fn_c, one of which waits in
// EnterCriticalSection, and one whose context cannot be read.
void MakeWorld(SessionFixture& f) {
  f.session->options.symbolTableEnabled = false;
  f.session->options.memoryDumpEnabled = false;
  f.session->options.instructionCount = 2;
  f.session->targetPath = "C:\\app\\prog.exe";
  f.session->processId = sim::target().processId;
  code_module::Add("C:\\app\\prog.exe", kModule, 0x10000, 0x1000);
  f.session->AddModule(CModule("C:\\app\\prog.exe", kModule, 0x10000));
  sim::AddRegion(kStack, 0x10000);
  sim::AddSymbol("fn_a", kCode + 0x000, 0x100);
  sim::AddSymbol("fn_b", kCode + 0x100, 0x100);
  sim::AddSymbol("EnterCriticalSection", kCode + 0x200, 0x100);
  for (DWORD t = 0; t < 3; ++t) {
    const DWORD f0 = kStack + 0x1000 + 0x1000 * t, f1 = f0 + 0x20;
    code_module::CallRegister(kCode + 0x103);
    Word(f0, f1);
    Word(f0 + 4, kCode + 0x105);
    for (DWORD i = 0; i < 4; ++i) Word(f0 + 8 + 4 * i, 0x00403010 + i);
    Word(f1, 0);
    Word(f1 + 4, 0);
    sim::Thread& thread = sim::AddThread(0x1c + t, t == 1 ? kCode + 0x210 : kCode + 0x10, f0 - 0x10, f0);
    thread.contextReadable = t != 2;
    f.session->AddThread(thread.handle, thread.id);
  }
}

std::string FormerReport(SessionFixture& f) {
  CLogFile& session = *f.session;
  SYSTEMTIME now;
  GetLocalTime(&now);
  session.Print("%s (pid=%d)\r\n", session.targetPath.c_str(), static_cast<int>(session.processId));
  session.Print("%d/%d/%d %d:%d:%d:%d\r\n", now.wMonth, now.wDay, now.wYear, now.wHour, now.wMinute, now.wSecond,
                now.wMilliseconds);
  for (const CModule& module : session.modules) {
    session.Print("(%08x - %08x) %s\r\n", module.base, module.base + module.size, module.name.c_str());
  }
  session.Print("\r\n");
  for (CThreadContext& thread : session.threads) {
    ReadThreadContext(session, thread);
    session.Print("State Dump for Thread ID 0x%x\r\n", thread.threadId);
    WriteRegisters(session, thread);
    WriteCodeListing(session, thread, thread.eip);
    WriteBackTrace(session, thread);
    WriteRawStack(session, thread);
  }
  return f.Report();
}

TEST(WaitChainsReport, WithoutTheSectionTheReportIsAsBefore) {
  std::string former;
  std::vector<std::string> formerLog;
  {
    SessionFixture f;
    MakeWorld(f);
    former = FormerReport(f);
    formerLog = f.log.lines;
  }
  SessionFixture f;
  MakeWorld(f);
  EXCEPTION_DEBUG_INFO exception{};
  WriteReport(*f.session, exception);
  EXPECT_EQ(sim::Calls("GetThreadContext"), 3);
  const int walks = sim::Calls("StackWalk");
  const std::string report = f.Report();
  EXPECT_EQ(WithoutWaitChains(report), former);
  EXPECT_EQ(f.log.lines, formerLog);
  const std::string section =
      "*----> Wait Chains <----*\r\n"
      "Thread 0x1c runs in prog!fn_a\r\n"
      "Thread 0x1d waits for critical section 00403010 (not owned)\r\n"
      "Thread 0x1e runs in 00000000\r\n"
      "\r\n";
  EXPECT_NE(report.find("(00400000 - 00410000) C:\\app\\prog.exe\r\n\r\n" + section + "State Dump for Thread ID 0x1c\r\n"),
            std::string::npos)
      << report.substr(0, 400);
  // The frames the section walked are the back traces' too: no thread is walked twice.
  SessionFixture again;
  MakeWorld(again);
  FormerReport(again);
  EXPECT_EQ(walks, sim::Calls("StackWalk"));
}

}  // namespace
