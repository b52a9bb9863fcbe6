// The Reg*A functions: each resolves its handle, then reads the newest hive or changes it
// under the write lock (registry_store.h). Nothing is cached between calls.
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "plat/registry.h"
#include "registry_handles.h"
#include "registry_store.h"

namespace plat::reg {
namespace {

LONG CheckAccess(const KeyRef& ref, REGSAM needed) {
  return (ref.access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// The key `ref` names in a loaded tree. A predefined key always exists (its branch is made when
// missing, which is only written if something else changes too); any other missing key has been
// deleted since it was opened.
Key* Locate(Key& root, const KeyRef& ref, LONG* result) {
  Key* key = &root;
  for (const std::string& part : ref.path) {
    Key* child = key->Child(part);
    if (child == nullptr) {
      if (!ref.predefined) {
        *result = ERROR_KEY_DELETED;
        return nullptr;
      }
      child = &key->AddChild(part);
    }
    key = child;
  }
  *result = ERROR_SUCCESS;
  return key;
}

// Runs `read(key, ref)` on the key `hKey` names in the newest hive.
template <typename Read>
LONG WithKey(HKEY hKey, REGSAM needed, Read read) {
  KeyRef ref;
  if (!ResolveKey(hKey, &ref)) return ERROR_INVALID_HANDLE;
  if (const LONG access = CheckAccess(ref, needed); access != ERROR_SUCCESS) return access;
  Key root;
  if (const LONG loaded = LoadHive(root, nullptr); loaded != ERROR_SUCCESS) return loaded;
  LONG result = ERROR_SUCCESS;
  Key* key = Locate(root, ref, &result);
  return key == nullptr ? result : read(*key, ref);
}

// Runs `change` on the key `hKey` names, under the write lock.
template <typename Change>
LONG ChangeKey(HKEY hKey, REGSAM needed, Change change) {
  KeyRef ref;
  if (!ResolveKey(hKey, &ref)) return ERROR_INVALID_HANDLE;
  if (const LONG access = CheckAccess(ref, needed); access != ERROR_SUCCESS) return access;
  return UpdateHive(
      [&](Key& root) {
        LONG result = ERROR_SUCCESS;
        Key* key = Locate(root, ref, &result);
        return key == nullptr ? result : change(root, *key, ref);
      },
      nullptr);
}

bool SplitSubKey(LPCSTR lpSubKey, std::vector<std::string>* parts) {
  if (lpSubKey == nullptr) {
    parts->clear();
    return true;
  }
  return SplitKeyPath(lpSubKey, parts);
}

std::string_view ValueName(LPCSTR lpValueName) { return lpValueName == nullptr ? std::string_view() : lpValueName; }

// Copies a value's bytes with the RegQueryValueEx rules: no buffer -> the size; a short buffer
// -> ERROR_MORE_DATA and the size needed. Text is returned with its terminating zero.
LONG CopyData(const Value& value, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  std::string bytes = value.data;
  if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) bytes.push_back('\0');
  const auto size = static_cast<DWORD>(bytes.size());
  if (lpType != nullptr) *lpType = value.type;
  if (lpData != nullptr) {
    if (*lpcbData < size) {
      *lpcbData = size;
      return ERROR_MORE_DATA;
    }
    std::memcpy(lpData, bytes.data(), size);
  }
  if (lpcbData != nullptr) *lpcbData = size;
  return ERROR_SUCCESS;
}

// Copies a name into a buffer of *lpcchName characters; on success *lpcchName is the length
// without the terminating zero.
LONG CopyName(const std::string& name, LPSTR lpName, LPDWORD lpcchName) {
  if (lpName == nullptr || lpcchName == nullptr) return ERROR_INVALID_PARAMETER;
  if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
  std::memcpy(lpName, name.c_str(), name.size() + 1);
  *lpcchName = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace plat::reg

using namespace plat::reg;

extern "C" {

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/,
                     DWORD /*dwOptions*/, REGSAM samDesired,
                     const LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
  std::vector<std::string> parts;
  if (phkResult == nullptr || lpSubKey == nullptr || !SplitSubKey(lpSubKey, &parts)) {
    return ERROR_INVALID_PARAMETER;
  }
  KeyRef opened;
  bool created = false;
  const LONG result = ChangeKey(hKey, 0, [&](Key&, Key& base, const KeyRef& ref) {
    Key* key = &base;
    for (const std::string& part : parts) {
      Key* child = key->Child(part);
      if (child == nullptr) {
        if (CheckAccess(ref, KEY_CREATE_SUB_KEY) != ERROR_SUCCESS) return ERROR_ACCESS_DENIED;
        child = &key->AddChild(part, &created);
      }
      key = child;
    }
    opened = ref;
    opened.path.insert(opened.path.end(), parts.begin(), parts.end());
    opened.predefined = ref.predefined && parts.empty();
    return ERROR_SUCCESS;
  });
  if (result != ERROR_SUCCESS) return result;
  opened.access = samDesired;
  *phkResult = OpenKeyHandle(std::move(opened));
  if (lpdwDisposition != nullptr) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired, PHKEY phkResult) {
  std::vector<std::string> parts;
  if (phkResult == nullptr || !SplitSubKey(lpSubKey, &parts)) return ERROR_INVALID_PARAMETER;
  KeyRef opened;
  const LONG result = WithKey(hKey, 0, [&](Key& base, const KeyRef& ref) {
    if (FindKey(base, parts) == nullptr) return ERROR_FILE_NOT_FOUND;
    opened = ref;
    return ERROR_SUCCESS;
  });
  if (result != ERROR_SUCCESS) return result;
  opened.path.insert(opened.path.end(), parts.begin(), parts.end());
  opened.predefined = opened.predefined && parts.empty();
  opened.access = samDesired;
  *phkResult = OpenKeyHandle(std::move(opened));
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) { return CloseKeyHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE; }

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD /*lpReserved*/, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
  return WithKey(hKey, KEY_QUERY_VALUE, [&](Key& key, const KeyRef&) {
    const Value* value = key.FindValue(ValueName(lpValueName));
    return value == nullptr ? ERROR_FILE_NOT_FOUND : CopyData(*value, lpType, lpData, lpcbData);
  });
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
  const std::string_view name = ValueName(lpValueName);
  if ((lpData == nullptr && cbData > 0) || name.find_first_of("\r\n") != std::string_view::npos) {
    return ERROR_INVALID_PARAMETER;
  }
  std::string data(reinterpret_cast<const char*>(lpData), lpData == nullptr ? 0 : cbData);
  if (dwType == REG_SZ || dwType == REG_EXPAND_SZ) {
    // Text ends at its terminating zero, whether or not cbData counted it.
    if (const std::size_t nul = data.find('\0'); nul != std::string::npos) data.resize(nul);
  } else if (dwType == REG_DWORD && cbData != sizeof(DWORD)) {
    return ERROR_INVALID_PARAMETER;
  }
  return ChangeKey(hKey, KEY_SET_VALUE, [&](Key&, Key& key, const KeyRef&) {
    key.SetValue(name, dwType, data);
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  return ChangeKey(hKey, KEY_SET_VALUE, [&](Key&, Key& key, const KeyRef&) {
    return key.DeleteValue(ValueName(lpValueName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  std::vector<std::string> parts;
  if (lpSubKey == nullptr || !SplitSubKey(lpSubKey, &parts)) return ERROR_INVALID_PARAMETER;
  return ChangeKey(hKey, 0, [&](Key& root, Key& base, const KeyRef& ref) {
    std::vector<std::string> full = ref.path;
    full.insert(full.end(), parts.begin(), parts.end());
    if (full.empty() || (ref.predefined && parts.empty())) return ERROR_ACCESS_DENIED;
    Key* key = FindKey(base, parts);
    if (key == nullptr) return ERROR_FILE_NOT_FOUND;
    if (!key->children.empty()) return ERROR_ACCESS_DENIED;
    const std::string leaf = full.back();
    full.pop_back();
    FindKey(root, full)->RemoveChild(leaf);
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) {
  std::vector<std::string> parts;
  if (!SplitSubKey(lpSubKey, &parts)) return ERROR_INVALID_PARAMETER;
  return ChangeKey(hKey, 0, [&](Key&, Key& base, const KeyRef&) {
    if (parts.empty()) {
      base.values.clear();
      base.children.clear();
      return ERROR_SUCCESS;
    }
    const std::string leaf = parts.back();
    parts.pop_back();
    Key* parent = FindKey(base, parts);
    return parent != nullptr && parent->RemoveChild(leaf) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD /*lpReserved*/,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  return WithKey(hKey, KEY_ENUMERATE_SUB_KEYS, [&](Key& key, const KeyRef&) {
    if (dwIndex >= key.children.size()) return ERROR_NO_MORE_ITEMS;
    auto it = key.children.begin();
    std::advance(it, dwIndex);
    const LONG copied = CopyName(it->second->name, lpName, lpcchName);
    if (copied != ERROR_SUCCESS) return copied;
    if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) {
      lpClass[0] = '\0';
      *lpcchClass = 0;
    }
    if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
  });
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD /*lpReserved*/, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  return WithKey(hKey, KEY_QUERY_VALUE, [&](Key& key, const KeyRef&) {
    if (dwIndex >= key.values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& value = key.values[dwIndex];
    const LONG copied = CopyName(value.name, lpValueName, lpcchValueName);
    return copied != ERROR_SUCCESS ? copied : CopyData(value, lpType, lpData, lpcbData);
  });
}

}  // extern "C"
