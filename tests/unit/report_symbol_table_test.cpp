// The symbol table section, by the handler's module queries and by enumeration (Wine).
#include <gtest/gtest.h>

#include "report/symbol_table.h"
#include "test_support.h"

namespace {

void TwoModulesWithSymbols() {
  sim::Module& exe = sim::AddModule("C:\\app\\prog.exe", 0x00400000, 0x10000);
  exe.imageName = "C:\\app\\prog.exe";
  sim::Module& dll = sim::AddModule("C:\\windows\\system32\\kernel32.dll", 0x7c800000, 0x100000);
  dll.imageName = "C:\\windows\\system32\\kernel32.dll";
  sim::Module& bare = sim::AddModule("C:\\app\\nosyms.dll", 0x10000000, 0x1000);
  bare.imageName = "C:\\app\\nosyms.dll";
  sim::AddSymbol("main", 0x00401000, 0x40);
  sim::AddSymbol("exported_only", 0x00401040, 0);  // size 0: left out
  sim::AddSymbol("", 0x00401080, 0x10);            // no name: left out
  sim::AddSymbol("worker_alpha", 0x004010a0, 0x1c);
  sim::AddSymbol("Sleep", 0x7c802442, 0x7ab);
}

const char kTable[] =
    "*----> Symbol Table <----*\r\n"
    "C:\\app\\prog.exe\r\n\r\n"
    "00401000 00000040   main\r\n"
    "004010a0 0000001c   worker_alpha\r\n"
    "\r\n\r\n"
    "C:\\windows\\system32\\kernel32.dll\r\n\r\n"
    "7c802442 000007ab   Sleep\r\n"
    "\r\n\r\n"
    "C:\\app\\nosyms.dll\r\n\r\n"
    "\r\n\r\n";

TEST(SymbolTable, EveryModuleInTheHandlersOrder) {
  SessionFixture f;
  TwoModulesWithSymbols();
  WriteSymbolTable(*f.session);
  EXPECT_EQ(f.Report(), kTable);
  EXPECT_EQ(sim::Calls("SymEnumerateModules"), 0);
}

// Wine answers neither 0 nor 0xFFFFFFFF: the modules come from enumeration, same output.
TEST(SymbolTable, ByEnumerationWhenTheHandlerDoesNotAnswerAddressZero) {
  SessionFixture f;
  TwoModulesWithSymbols();
  sim::target().moduleQueriesByOrderFail = true;
  WriteSymbolTable(*f.session);
  EXPECT_EQ(f.Report(), kTable);
  EXPECT_EQ(sim::Calls("SymEnumerateModules"), 1);
}

TEST(SymbolTable, NoModulesNoSection) {
  SessionFixture f;
  WriteSymbolTable(*f.session);
  sim::target().moduleQueriesByOrderFail = true;
  WriteSymbolTable(*f.session);
  EXPECT_EQ(f.Report(), "");
}

TEST(SymbolTable, HandlerShutDownNoSection) {
  SessionFixture f;
  TwoModulesWithSymbols();
  sim::target().symbolsActive = false;
  WriteSymbolTable(*f.session);
  sim::target().moduleQueriesByOrderFail = true;
  WriteSymbolTable(*f.session);
  EXPECT_EQ(f.Report(), "");
}

TEST(SymbolTable, ModuleWithoutSymbolsTakesFourLines) {
  SessionFixture f;
  sim::AddModule("C:\\a.dll", 0x10000000, 0x1000).imageName = "C:\\a.dll";
  WriteSymbolTable(*f.session);
  EXPECT_EQ(f.Report(), "*----> Symbol Table <----*\r\nC:\\a.dll\r\n\r\n\r\n\r\n");
}

TEST(SymbolTable, SymbolLineRules) {
  SessionFixture f;
  EXPECT_TRUE(WriteSymbolLine(nullptr, 0x1000, 4, f.session.get()));
  EXPECT_TRUE(WriteSymbolLine("", 0x1000, 4, f.session.get()));
  EXPECT_TRUE(WriteSymbolLine("zero", 0x1000, 0, f.session.get()));
  EXPECT_TRUE(WriteSymbolLine("f", 0xfffffff0, 0xffffffff, f.session.get()));
  EXPECT_EQ(f.Report(), "fffffff0 ffffffff   f\r\n");
}

}  // namespace
