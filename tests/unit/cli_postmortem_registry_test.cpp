// The postmortem registry rule on the stand-in's registry: what install and uninstall leave
// behind, byte for byte, from every starting state, and that a refused step leaves nothing.
#include <gtest/gtest.h>

#include "sim/sim.h"
#include "tools/cli/postmortem_registry.h"

namespace {

using sim::DwordValue;
using sim::RegistryKeys;
using sim::StringValue;

const std::wstring kAe = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug";
const std::wstring kTool = L"Software\\Tarnholm";
const std::wstring kSaved = L"Software\\Tarnholm\\AeDebugSaved";
const std::wstring kCommand = L"\"C:\\T\\tarnholm-cli.exe\" --postmortem %ld %ld";
const std::wstring kOther = L"\"C:\\T\\tarnholm-cli.exe\" --no-memory-dump --postmortem %ld %ld";

sim::RegistryValue Binary(std::vector<BYTE> bytes, DWORD type = REG_BINARY) { return sim::RegistryValue{type, bytes}; }

// Wine's own setting, with a value of another kind beside it that nobody touches.
RegistryKeys WineDefault() {
  return {{kAe,
           {{L"Debugger", StringValue(L"winedbg --auto %ld %ld")},
            {L"Auto", StringValue(L"1")},
            {L"UserDebuggerHotKey", DwordValue(0)}}}};
}
RegistryKeys WineInstalled(const std::wstring& command = kCommand) {
  RegistryKeys keys = WineDefault();
  keys[kAe][L"Debugger"] = StringValue(command);
  keys[kTool];
  keys[kSaved] = {{L"Debugger", StringValue(L"winedbg --auto %ld %ld")},
                  {L"Auto", StringValue(L"1")},
                  {L"State", DwordValue(5)}};
  return keys;
}
// Values of other types than the system writes, an Auto of "0" as a DWORD.
RegistryKeys OddTypes() {
  return {{kAe, {{L"Debugger", Binary({'d', 0, 0xFF}, REG_EXPAND_SZ)}, {L"Auto", DwordValue(0)}}},
          {kTool, {{L"Other", StringValue(L"x")}}}};
}
RegistryKeys OddTypesInstalled() {
  RegistryKeys keys = OddTypes();
  keys[kAe][L"Debugger"] = StringValue(kCommand);
  keys[kAe][L"Auto"] = StringValue(L"1");
  keys[kSaved] = {{L"Debugger", Binary({'d', 0, 0xFF}, REG_EXPAND_SZ)}, {L"Auto", DwordValue(0)}, {L"State", DwordValue(1)}};
  return keys;
}
// No AeDebug key at all, nor the tool's key.
RegistryKeys NoKey() { return {{L"Software\\Microsoft\\Windows NT\\CurrentVersion", {}}}; }
RegistryKeys NoKeyInstalled() {
  RegistryKeys keys = NoKey();
  keys[kAe] = {{L"Debugger", StringValue(kCommand)}, {L"Auto", StringValue(L"1")}};
  keys[kTool];
  keys[kSaved] = {{L"State", DwordValue(7)}};
  return keys;
}
// The key there, both values absent.
RegistryKeys Empty() { return {{kAe, {}}}; }
RegistryKeys EmptyInstalled() {
  RegistryKeys keys = Empty();
  keys[kAe] = {{L"Debugger", StringValue(kCommand)}, {L"Auto", StringValue(L"1")}};
  keys[kTool];
  keys[kSaved] = {{L"State", DwordValue(5)}};
  return keys;
}

enum class Op { kInstall, kUninstall };

struct Step {
  Op op;
  std::wstring command;  // of an install
  DWORD deniedChange;    // 0: none
  bool done;
  std::string error;     // when !done
};

struct Case {
  const char* name;
  RegistryKeys before;
  std::vector<Step> steps;
  RegistryKeys after;
};

Step Install(const std::wstring& command = kCommand) { return {Op::kInstall, command, 0, true, ""}; }
Step Uninstall() { return {Op::kUninstall, L"", 0, true, ""}; }
Step DeniedInstall(DWORD at, const std::string& error) { return {Op::kInstall, kCommand, at, false, error}; }
Step DeniedUninstall(DWORD at, const std::string& error) { return {Op::kUninstall, L"", at, false, error}; }

const std::string kNothing = " (e=5); nothing was changed";
const std::string kAeText = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug";

std::vector<Case> Cases() {
  return {
      {"install over Wine's setting", WineDefault(), {Install()}, WineInstalled()},
      {"install and uninstall", WineDefault(), {Install(), Uninstall()}, WineDefault()},
      {"install twice keeps the first originals", WineDefault(), {Install(), Install(kOther)}, WineInstalled(kOther)},
      {"install twice, uninstall once", WineDefault(), {Install(), Install(kOther), Uninstall()}, WineDefault()},
      {"uninstall without install", WineDefault(), {Uninstall()}, WineDefault()},
      {"uninstall twice", WineInstalled(), {Uninstall(), Uninstall()}, WineDefault()},
      {"other types kept exactly", OddTypes(), {Install()}, OddTypesInstalled()},
      {"other types put back exactly", OddTypesInstalled(), {Uninstall()}, OddTypes()},
      {"no key: made, then removed", NoKey(), {Install()}, NoKeyInstalled()},
      {"no key: back to none", NoKey(), {Install(), Uninstall()}, NoKey()},
      {"absent values: added", Empty(), {Install()}, EmptyInstalled()},
      {"absent values: removed again", Empty(), {Install(), Uninstall()}, Empty()},
      {"denied: the tool's key", WineDefault(), {DeniedInstall(1, "can't create HKLM\\Software\\Tarnholm" + kNothing)},
       WineDefault()},
      {"denied: the saved key", WineDefault(),
       {DeniedInstall(2, "can't create HKLM\\Software\\Tarnholm\\AeDebugSaved" + kNothing)}, WineDefault()},
      {"denied: the saved Debugger", WineDefault(),
       {DeniedInstall(3, "can't set HKLM\\Software\\Tarnholm\\AeDebugSaved value Debugger" + kNothing)}, WineDefault()},
      {"denied: the saved Auto", WineDefault(),
       {DeniedInstall(4, "can't set HKLM\\Software\\Tarnholm\\AeDebugSaved value Auto" + kNothing)}, WineDefault()},
      {"denied: the state", WineDefault(),
       {DeniedInstall(5, "can't set HKLM\\Software\\Tarnholm\\AeDebugSaved value State" + kNothing)}, WineDefault()},
      {"denied: Debugger", WineDefault(), {DeniedInstall(6, "can't set " + kAeText + " value Debugger" + kNothing)},
       WineDefault()},
      {"denied: Auto, after Debugger was set", WineDefault(),
       {DeniedInstall(7, "can't set " + kAeText + " value Auto" + kNothing)}, WineDefault()},
      {"denied: the AeDebug key", NoKey(), {DeniedInstall(3, "can't create " + kAeText + kNothing)}, NoKey()},
      {"denied: removing an absent saved value", Empty(),
       {DeniedInstall(3, "can't remove HKLM\\Software\\Tarnholm\\AeDebugSaved value Debugger" + kNothing)}, Empty()},
      {"denied: a second install's Debugger", WineInstalled(),
       {DeniedInstall(1, "can't set " + kAeText + " value Debugger" + kNothing)}, WineInstalled()},
      {"denied: restoring Debugger", WineInstalled(),
       {DeniedUninstall(1, "can't set " + kAeText + " value Debugger" + kNothing)}, WineInstalled()},
      {"denied: restoring Auto", WineInstalled(), {DeniedUninstall(2, "can't set " + kAeText + " value Auto" + kNothing)},
       WineInstalled()},
      {"denied: removing the state", WineInstalled(),
       {DeniedUninstall(3, "can't remove HKLM\\Software\\Tarnholm\\AeDebugSaved value State" + kNothing)},
       WineInstalled()},
      {"denied: removing the saved Debugger", WineInstalled(),
       {DeniedUninstall(5, "can't remove HKLM\\Software\\Tarnholm\\AeDebugSaved value Debugger" + kNothing)},
       WineInstalled()},
      {"denied: removing the saved key", WineInstalled(),
       {DeniedUninstall(6, "can't remove HKLM\\Software\\Tarnholm\\AeDebugSaved" + kNothing)}, WineInstalled()},
      {"denied: removing the tool's key", WineInstalled(),
       {DeniedUninstall(7, "can't remove HKLM\\Software\\Tarnholm" + kNothing)}, WineInstalled()},
      {"denied: removing the made AeDebug key", NoKeyInstalled(),
       {DeniedUninstall(3, "can't remove " + kAeText + kNothing)}, NoKeyInstalled()},
      {"denied, then allowed", WineDefault(),
       {DeniedInstall(6, "can't set " + kAeText + " value Debugger" + kNothing), Install()}, WineInstalled()},
  };
}

// Every key with the keys above it, as a registry holds them.
RegistryKeys Tree(RegistryKeys keys) {
  const RegistryKeys given = keys;
  for (const auto& key : given) {
    for (size_t end = key.first.find(L'\\'); end != std::wstring::npos; end = key.first.find(L'\\', end + 1)) {
      keys[key.first.substr(0, end)];
    }
  }
  return keys;
}

std::string Dump(const RegistryKeys& keys) {
  std::string text;
  for (const auto& key : keys) {
    text += "[" + sim::Utf8Text(key.first) + "]\n";
    for (const auto& value : key.second) {
      text += "  " + sim::Utf8Text(value.first) + " type " + std::to_string(value.second.type) + ":";
      for (BYTE b : value.second.bytes) text += " " + std::to_string(b);
      text += "\n";
    }
  }
  return text;
}

TEST(PostmortemRegistry, StateAfter) {
  for (const Case& c : Cases()) {
    sim::Reset();
    sim::target().registry = Tree(c.before);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const Step& step = c.steps[i];
      sim::target().registryChanges = 0;
      sim::target().registryDeniedChange = step.deniedChange;
      const PostmortemOutcome outcome =
          step.op == Op::kInstall ? InstallPostmortem(step.command) : UninstallPostmortem();
      EXPECT_EQ(outcome.done, step.done) << c.name << " step " << i << ": " << outcome.error;
      EXPECT_EQ(outcome.error, step.error) << c.name << " step " << i;
      EXPECT_EQ(outcome.code, step.done ? ERROR_SUCCESS : ERROR_ACCESS_DENIED) << c.name;
      EXPECT_EQ(outcome.lines.empty(), !step.done) << c.name << " step " << i;
      EXPECT_EQ(sim::target().openRegistryKeys, 0) << c.name << " step " << i;
    }
    EXPECT_EQ(Dump(sim::target().registry), Dump(Tree(c.after))) << c.name;
    EXPECT_TRUE(sim::target().registryView32) << c.name;
  }
}

// The lines of a whole install and uninstall, as stdout shows them.
TEST(PostmortemRegistry, Lines) {
  sim::Reset();
  sim::target().registry = WineDefault();
  const std::vector<std::string> installed = {
      "Saved Debugger (\"winedbg --auto %ld %ld\") in HKLM\\Software\\Tarnholm\\AeDebugSaved",
      "Saved Auto (\"1\") in HKLM\\Software\\Tarnholm\\AeDebugSaved",
      "Set " + kAeText + " Debugger = \"\"C:\\T\\tarnholm-cli.exe\" --postmortem %ld %ld\"",
      "Set " + kAeText + " Auto = \"1\""};
  EXPECT_EQ(InstallPostmortem(kCommand).lines, installed);
  EXPECT_EQ(InstallPostmortem(kCommand).lines[0],
            "Already installed: the values saved by the first install stay in HKLM\\Software\\Tarnholm\\AeDebugSaved");
  const std::vector<std::string> removed = {"Restored Debugger = \"winedbg --auto %ld %ld\"", "Restored Auto = \"1\"",
                                            "Removed HKLM\\Software\\Tarnholm\\AeDebugSaved"};
  EXPECT_EQ(UninstallPostmortem().lines, removed);
  EXPECT_EQ(UninstallPostmortem().lines,
            std::vector<std::string>{"Not installed as the postmortem debugger: nothing to undo"});
}

}  // namespace
