// Helpers of the COM tests: where the test server library is, registering a class by writing
// its InprocServer32 key, and whether a library is loaded in this process now.
#pragma once

#include <dlfcn.h>

#include <filesystem>
#include <string>

#include "comserver/test_com_server.h"
#include "kivtest/prefix.h"
#include "plat/com.h"
#include "plat/registry.h"

namespace kivtest {

inline std::string TestComServerPath() { return (LibDir() / kTestComServerFile).string(); }

inline std::string ClassKeyOf(REFCLSID clsid) {
  OLECHAR wide[40];
  StringFromGUID2(clsid, wide, 40);
  return "CLSID\\" + std::string(wide, wide + 38);
}

// Writes HKCR\CLSID\{clsid}\InprocServer32 = path; true on success.
inline bool RegisterInprocServer(REFCLSID clsid, const std::string& path) {
  HKEY key = nullptr;
  const std::string subkey = ClassKeyOf(clsid) + "\\InprocServer32";
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG rc =
      RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                     static_cast<DWORD>(path.size() + 1));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

// The registered InprocServer32 path of a class, empty when there is none.
inline std::string RegisteredInprocServer(REFCLSID clsid) {
  HKEY key = nullptr;
  const std::string subkey = ClassKeyOf(clsid) + "\\InprocServer32";
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return {};
  }
  char value[4096] = {};
  DWORD size = sizeof value - 1;
  DWORD type = 0;
  const LONG rc =
      RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(value), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_SZ ? std::string(value) : std::string();
}

// Whether the library at `path` is loaded in this process (without loading it).
inline bool IsLibraryLoaded(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

}  // namespace kivtest
