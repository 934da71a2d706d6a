#include "tools/cli/postmortem_registry.h"

#include <stdio.h>

#include "session/ansi_text.h"

const wchar_t kAeDebugKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug";
const wchar_t kToolKey[] = L"Software\\Tarnholm";
const wchar_t kSavedAeDebugKey[] = L"Software\\Tarnholm\\AeDebugSaved";

namespace {

const wchar_t* const kTakenValues[] = {L"Debugger", L"Auto"};
// Written last into the saved copy: its presence says the copy is whole. Its bits say which
// keys the install made, for the uninstall to remove again.
const wchar_t kStateValue[] = L"State";
constexpr DWORD kStateSaved = 1;
constexpr DWORD kStateMadeAeDebug = 2;
constexpr DWORD kStateMadeToolKey = 4;

// A 32-bit program's keys are those of the 32-bit view on 64-bit Windows, where the system
// looks for a 32-bit program's postmortem debugger; on 32-bit Windows the flag is ignored.
constexpr REGSAM kView = KEY_WOW64_32KEY;

// The registry services, each called from one place only.
LONG OpenKey(const std::wstring& path, REGSAM access, HKEY& key) {
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | kView, &key);
}

LONG CreateKey(const std::wstring& path, HKEY& key, bool& made) {
  DWORD disposition = 0;
  const LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_QUERY_VALUE | KEY_SET_VALUE | kView, nullptr, &key, &disposition);
  made = status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
  return status;
}

LONG QueryValue(HKEY key, const wchar_t* name, DWORD& type, BYTE* data, DWORD& size) {
  return RegQueryValueExW(key, name, nullptr, &type, data, &size);
}

LONG SetValue(HKEY key, const wchar_t* name, const StoredValue& value) {
  return RegSetValueExW(key, name, 0, value.type, value.bytes.data(), static_cast<DWORD>(value.bytes.size()));
}

LONG DeleteValue(HKEY key, const wchar_t* name) { return RegDeleteValueW(key, name); }

// RegDeleteKeyW, not RegDeleteKeyExW, which 32-bit Windows XP lacks: a 32-bit program's
// keys are those of the 32-bit view already, as the flag on the opens asks explicitly.
LONG DeleteKey(const std::wstring& path) { return RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str()); }

void CloseKey(HKEY key) { RegCloseKey(key); }

std::string Narrow(const std::wstring& text) { return AnsiForDisplay(text); }

// A value of an open key; absent is no failure. The size is asked first, and asked again
// when the value grew in between.
LONG ReadValue(HKEY key, const wchar_t* name, StoredValue& value) {
  value = StoredValue();
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG status = QueryValue(key, name, type, nullptr, size);
    if (status == ERROR_SUCCESS) {
      value.bytes.assign(size, 0);
      status = QueryValue(key, name, type, size == 0 ? nullptr : value.bytes.data(), size);
    }
    if (status == ERROR_MORE_DATA) continue;
    if (status == ERROR_FILE_NOT_FOUND) {
      value = StoredValue();
      return ERROR_SUCCESS;
    }
    if (status != ERROR_SUCCESS) return status;
    value.present = true;
    value.type = type;
    value.bytes.resize(size);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

StoredValue StringValue(const std::wstring& text) {
  StoredValue value;
  value.present = true;
  value.type = REG_SZ;
  for (wchar_t c : text) {
    value.bytes.push_back(static_cast<BYTE>(c & 0xFF));
    value.bytes.push_back(static_cast<BYTE>((c >> 8) & 0xFF));
  }
  value.bytes.insert(value.bytes.end(), 2, 0);
  return value;
}

StoredValue DwordValue(DWORD number) {
  StoredValue value;
  value.present = true;
  value.type = REG_DWORD;
  for (int i = 0; i < 4; ++i) value.bytes.push_back(static_cast<BYTE>(number >> (8 * i)));
  return value;
}

DWORD DwordOf(const StoredValue& value) {
  if (!value.present || value.type != REG_DWORD || value.bytes.size() != 4) return 0;
  return value.bytes[0] | (value.bytes[1] << 8) | (value.bytes[2] << 16) | (static_cast<DWORD>(value.bytes[3]) << 24);
}

// The values of a key by name; a key that is not there has none.
LONG ReadKey(const std::wstring& path, const std::vector<const wchar_t*>& names, bool& exists,
             std::vector<StoredValue>& values) {
  values.assign(names.size(), StoredValue());
  HKEY key = nullptr;
  const LONG opened = OpenKey(path, KEY_QUERY_VALUE, key);
  exists = opened == ERROR_SUCCESS;
  if (opened == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (opened != ERROR_SUCCESS) return opened;
  LONG status = ERROR_SUCCESS;
  for (size_t i = 0; i < names.size() && status == ERROR_SUCCESS; ++i) status = ReadValue(key, names[i], values[i]);
  CloseKey(key);
  return status;
}

// Changes made so far, each with what undoes it, so that a refused step can take them all back.
class RegistryChange {
 public:
  // A value set to what is given, or removed when it is absent; `before` is what it was.
  bool Put(const std::wstring& path, const wchar_t* name, const StoredValue& value, const StoredValue& before) {
    const LONG status = PutValue(path, name, value);
    if (status != ERROR_SUCCESS) return Fail(status, "can't " + std::string(value.present ? "set" : "remove") +
                                                         " HKLM\\" + Narrow(path) + " value " + Narrow(name));
    undo_.push_back(Step{path, name, before, false});
    return true;
  }
  // A key made unless it is there; made tells which.
  bool Make(const std::wstring& path, bool& made) {
    HKEY key = nullptr;
    const LONG status = CreateKey(path, key, made);
    if (status != ERROR_SUCCESS) return Fail(status, "can't create HKLM\\" + Narrow(path));
    CloseKey(key);
    if (made) undo_.push_back(Step{path, nullptr, StoredValue(), true});
    return true;
  }
  // An empty key removed; a key that is not there is no failure.
  bool Remove(const std::wstring& path) {
    const LONG status = DeleteKey(path);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return Fail(status, "can't remove HKLM\\" + Narrow(path));
    if (status == ERROR_SUCCESS) undo_.push_back(Step{path, nullptr, StoredValue(), false});
    return true;
  }

  // Takes every change back, newest first. False when a step of that failed too.
  bool RollBack() {
    bool whole = true;
    for (auto step = undo_.rbegin(); step != undo_.rend(); ++step) {
      LONG status;
      if (step->name != nullptr) {
        status = PutValue(step->path, step->name, step->before);
      } else if (step->madeKey) {
        status = DeleteKey(step->path);
      } else {
        HKEY key = nullptr;
        bool made = false;
        status = CreateKey(step->path, key, made);
        if (status == ERROR_SUCCESS) CloseKey(key);
      }
      if (status != ERROR_SUCCESS) whole = false;
    }
    undo_.clear();
    return whole;
  }

  std::string failure;
  LONG code = ERROR_SUCCESS;

 private:
  struct Step {
    std::wstring path;
    const wchar_t* name;  // null: a key step
    StoredValue before;
    bool madeKey;  // a key step: made (undone by removing) or removed (undone by making)
  };

  static LONG PutValue(const std::wstring& path, const wchar_t* name, const StoredValue& value) {
    HKEY key = nullptr;
    LONG status = OpenKey(path, KEY_SET_VALUE, key);
    if (status != ERROR_SUCCESS) return status;
    if (value.present) {
      status = SetValue(key, name, value);
    } else {
      status = DeleteValue(key, name);
      if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    }
    CloseKey(key);
    return status;
  }
  bool Fail(LONG status, const std::string& what) {
    code = status;
    failure = what;
    return false;
  }

  std::vector<Step> undo_;
};

// The outcome of a change refused part way: everything taken back, and said so.
PostmortemOutcome Refused(RegistryChange& change) {
  PostmortemOutcome outcome;
  outcome.code = change.code;
  char codeText[32];
  snprintf(codeText, sizeof codeText, " (e=%ld)", static_cast<long>(change.code));
  const bool whole = change.RollBack();
  outcome.error = change.failure + codeText +
                  (whole ? "; nothing was changed" : "; undoing the steps before it failed too, the registry may be half changed");
  return outcome;
}

PostmortemOutcome ReadFailed(const std::wstring& path, LONG status) {
  PostmortemOutcome outcome;
  outcome.code = status;
  outcome.error = "can't read HKLM\\" + Narrow(path) + " (e=" + std::to_string(status) + "); nothing was changed";
  return outcome;
}

std::string Shown(const StoredValue& value) {
  if (!value.present) return "absent";
  if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
    std::wstring text;
    for (size_t i = 0; i + 1 < value.bytes.size(); i += 2) {
      const wchar_t c = static_cast<wchar_t>(value.bytes[i] | (value.bytes[i + 1] << 8));
      if (c == L'\0') break;
      text += c;
    }
    return "\"" + Narrow(text) + "\"";
  }
  return "type " + std::to_string(value.type) + ", " + std::to_string(value.bytes.size()) + " bytes";
}

const std::vector<const wchar_t*> kTaken(std::begin(kTakenValues), std::end(kTakenValues));

std::vector<const wchar_t*> SavedNames() {
  std::vector<const wchar_t*> names = kTaken;
  names.push_back(kStateValue);
  return names;
}

}  // namespace

PostmortemOutcome InstallPostmortem(const std::wstring& command) {
  bool aeDebugThere = false, savedThere = false;
  std::vector<StoredValue> current, saved;
  if (LONG status = ReadKey(kAeDebugKey, kTaken, aeDebugThere, current)) return ReadFailed(kAeDebugKey, status);
  if (LONG status = ReadKey(kSavedAeDebugKey, SavedNames(), savedThere, saved)) return ReadFailed(kSavedAeDebugKey, status);
  const bool installed = (DwordOf(saved.back()) & kStateSaved) != 0;

  PostmortemOutcome outcome;
  RegistryChange change;
  if (installed) {
    outcome.lines.push_back("Already installed: the values saved by the first install stay in HKLM\\" +
                            Narrow(kSavedAeDebugKey));
  } else {
    // The copy first, whole, and only then the system's values.
    bool madeTool = false, madeSaved = false, madeAeDebug = false;
    if (!change.Make(kToolKey, madeTool) || !change.Make(kSavedAeDebugKey, madeSaved)) return Refused(change);
    if (!aeDebugThere && !change.Make(kAeDebugKey, madeAeDebug)) return Refused(change);
    for (size_t i = 0; i < kTaken.size(); ++i) {
      if (!change.Put(kSavedAeDebugKey, kTaken[i], current[i], saved[i])) return Refused(change);
      outcome.lines.push_back("Saved " + Narrow(kTaken[i]) + " (" + Shown(current[i]) + ") in HKLM\\" +
                              Narrow(kSavedAeDebugKey));
    }
    const DWORD state = kStateSaved | (madeAeDebug ? kStateMadeAeDebug : 0) | (madeTool ? kStateMadeToolKey : 0);
    if (!change.Put(kSavedAeDebugKey, kStateValue, DwordValue(state), saved.back())) return Refused(change);
  }
  const StoredValue debugger = StringValue(command);
  if (!change.Put(kAeDebugKey, L"Debugger", debugger, current[0]) ||
      !change.Put(kAeDebugKey, L"Auto", StringValue(L"1"), current[1])) {
    return Refused(change);
  }
  outcome.lines.push_back("Set HKLM\\" + Narrow(kAeDebugKey) + " Debugger = " + Shown(debugger));
  outcome.lines.push_back("Set HKLM\\" + Narrow(kAeDebugKey) + " Auto = \"1\"");
  outcome.done = true;
  return outcome;
}

PostmortemOutcome UninstallPostmortem() {
  bool aeDebugThere = false, savedThere = false;
  std::vector<StoredValue> current, saved;
  if (LONG status = ReadKey(kSavedAeDebugKey, SavedNames(), savedThere, saved)) return ReadFailed(kSavedAeDebugKey, status);
  if (LONG status = ReadKey(kAeDebugKey, kTaken, aeDebugThere, current)) return ReadFailed(kAeDebugKey, status);
  const DWORD state = DwordOf(saved.back());
  PostmortemOutcome outcome;
  if ((state & kStateSaved) == 0) {
    outcome.lines.push_back("Not installed as the postmortem debugger: nothing to undo");
    outcome.done = true;
    return outcome;
  }

  RegistryChange change;
  for (size_t i = 0; i < kTaken.size(); ++i) {
    if (aeDebugThere && !change.Put(kAeDebugKey, kTaken[i], saved[i], current[i])) return Refused(change);
    outcome.lines.push_back((saved[i].present ? "Restored " : "Removed ") + Narrow(kTaken[i]) +
                            (saved[i].present ? " = " + Shown(saved[i]) : " (it was absent before)"));
  }
  if ((state & kStateMadeAeDebug) != 0 && !change.Remove(kAeDebugKey)) return Refused(change);
  // The copy goes last, value by value, so that a refusal can put each one back.
  const std::vector<const wchar_t*> names = SavedNames();
  for (size_t i = names.size(); i-- > 0;) {
    if (!change.Put(kSavedAeDebugKey, names[i], StoredValue(), saved[i])) return Refused(change);
  }
  if (!change.Remove(kSavedAeDebugKey)) return Refused(change);
  if ((state & kStateMadeToolKey) != 0 && !change.Remove(kToolKey)) return Refused(change);
  outcome.lines.push_back("Removed HKLM\\" + Narrow(kSavedAeDebugKey));
  outcome.done = true;
  return outcome;
}
