// The stand-in's registry: HKEY_LOCAL_MACHINE as an in-memory tree of keys and values, with
// one changing call that can be refused, as a key the user may not write refuses it.
#include <string.h>
#include <wctype.h>

#include "sim/sim.h"

namespace {

constexpr uintptr_t kKeyHandleBase = 0x7000;

std::map<uintptr_t, std::wstring>& OpenKeys() {
  static std::map<uintptr_t, std::wstring> keys;
  return keys;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (towlower(a[i]) != towlower(b[i])) return false;
  }
  return true;
}

template <typename Map>
typename Map::iterator Find(Map& map, const std::wstring& name) {
  for (auto it = map.begin(); it != map.end(); ++it) {
    if (SameText(it->first, name)) return it;
  }
  return map.end();
}

// The full path of a sub key of an open key or of HKEY_LOCAL_MACHINE; false for a handle
// that names nothing.
bool PathOf(HKEY key, LPCWSTR subKey, std::wstring& path) {
  if (key == HKEY_LOCAL_MACHINE) {
    path.clear();
  } else {
    auto open = OpenKeys().find(reinterpret_cast<uintptr_t>(key));
    if (open == OpenKeys().end()) return false;
    path = open->second;
  }
  if (subKey != nullptr && subKey[0] != L'\0') path += (path.empty() ? L"" : L"\\") + std::wstring(subKey);
  return true;
}

HKEY NewHandle(const std::wstring& path) {
  static uintptr_t next = kKeyHandleBase;
  next += 4;
  OpenKeys()[next] = path;
  ++sim::target().openRegistryKeys;
  return reinterpret_cast<HKEY>(next);
}

void NoteView(REGSAM access) {
  if ((access & KEY_WOW64_32KEY) == 0) sim::target().registryView32 = false;
}

// Counts a changing call; true when it is the one to refuse.
bool Refused() {
  sim::Target& t = sim::target();
  ++t.registryChanges;
  return t.registryDeniedChange != 0 && t.registryChanges == t.registryDeniedChange;
}

sim::RegistryKeys::iterator KeyOf(HKEY key) {
  std::wstring path;
  if (!PathOf(key, nullptr, path)) return sim::target().registry.end();
  return Find(sim::target().registry, path);
}

}  // namespace

namespace sim {

RegistryValue StringValue(const std::wstring& text) {
  RegistryValue value;
  value.type = REG_SZ;
  for (wchar_t c : text) {
    value.bytes.push_back(static_cast<BYTE>(c & 0xFF));
    value.bytes.push_back(static_cast<BYTE>((c >> 8) & 0xFF));
  }
  value.bytes.push_back(0);
  value.bytes.push_back(0);
  return value;
}

RegistryValue DwordValue(DWORD number) {
  RegistryValue value;
  value.type = REG_DWORD;
  for (int i = 0; i < 4; ++i) value.bytes.push_back(static_cast<BYTE>(number >> (8 * i)));
  return value;
}

}  // namespace sim

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM access, void*, PHKEY result,
                        LPDWORD disposition) {
  NoteView(access);
  std::wstring path;
  if (!PathOf(key, subKey, path)) return ERROR_INVALID_HANDLE;
  if (Refused()) return ERROR_ACCESS_DENIED;
  sim::RegistryKeys& keys = sim::target().registry;
  // Every key on the way is made too, as the registry does.
  bool created = false;
  for (size_t end = 0; end != std::wstring::npos;) {
    end = path.find(L'\\', end + 1);
    const std::wstring part = path.substr(0, end);
    if (Find(keys, part) == keys.end()) {
      keys[part];
      created = true;
    }
  }
  if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = NewHandle(Find(keys, path)->first);
  return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM access, PHKEY result) {
  NoteView(access);
  std::wstring path;
  if (!PathOf(key, subKey, path)) return ERROR_INVALID_HANDLE;
  auto found = Find(sim::target().registry, path);
  if (found == sim::target().registry.end()) return ERROR_FILE_NOT_FOUND;
  *result = NewHandle(found->first);
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, BYTE* data, LPDWORD size) {
  auto found = KeyOf(key);
  if (found == sim::target().registry.end()) return ERROR_INVALID_HANDLE;
  auto value = Find(found->second, name == nullptr ? L"" : name);
  if (value == found->second.end()) return ERROR_FILE_NOT_FOUND;
  const DWORD needed = static_cast<DWORD>(value->second.bytes.size());
  if (type != nullptr) *type = value->second.type;
  if (data != nullptr && (size == nullptr || *size < needed)) {
    if (size != nullptr) *size = needed;
    return ERROR_MORE_DATA;
  }
  if (data != nullptr && needed != 0) memcpy(data, value->second.bytes.data(), needed);
  if (size != nullptr) *size = needed;
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  auto found = KeyOf(key);
  if (found == sim::target().registry.end()) return ERROR_INVALID_HANDLE;
  if (Refused()) return ERROR_ACCESS_DENIED;
  const std::wstring valueName = name == nullptr ? L"" : name;
  auto value = Find(found->second, valueName);
  sim::RegistryValue& stored = value == found->second.end() ? found->second[valueName] : value->second;
  stored.type = type;
  stored.bytes.assign(data, data + size);
  return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name) {
  auto found = KeyOf(key);
  if (found == sim::target().registry.end()) return ERROR_INVALID_HANDLE;
  if (Refused()) return ERROR_ACCESS_DENIED;
  auto value = Find(found->second, name == nullptr ? L"" : name);
  if (value == found->second.end()) return ERROR_FILE_NOT_FOUND;
  found->second.erase(value);
  return ERROR_SUCCESS;
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  std::wstring path;
  if (!PathOf(key, subKey, path)) return ERROR_INVALID_HANDLE;
  if (Refused()) return ERROR_ACCESS_DENIED;
  sim::RegistryKeys& keys = sim::target().registry;
  auto found = Find(keys, path);
  if (found == keys.end()) return ERROR_FILE_NOT_FOUND;
  // A key with sub keys of its own stays, as on Windows.
  const std::wstring prefix = path + L"\\";
  for (const auto& other : keys) {
    if (other.first.size() > prefix.size() && SameText(other.first.substr(0, prefix.size()), prefix)) {
      return ERROR_ACCESS_DENIED;
    }
  }
  keys.erase(found);
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  if (OpenKeys().erase(reinterpret_cast<uintptr_t>(key)) == 0) return ERROR_INVALID_HANDLE;
  --sim::target().openRegistryKeys;
  return ERROR_SUCCESS;
}
