// The registry: the Reg*A functions over the hive file of the machine-state prefix, with
// HKEY_CLASSES_ROOT as the "Software\Classes" branch of HKEY_LOCAL_MACHINE. Every call reads the
// newest hive; every write locks the hive, re-reads it and replaces it atomically, so several
// threads and processes may use the registry at once. An HKEY names a key path, not a snapshot.
#pragma once

#include <string>

#include "plat/types.h"

using HKEY = struct HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

// Predefined keys (the values Windows uses).
inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u));
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u));

// Access rights. Each handle keeps the rights it was opened with; an operation outside them
// fails with ERROR_ACCESS_DENIED.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_EXECUTE = KEY_READ;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Value types. REG_SZ and REG_DWORD are the ones the system uses; others are kept as bytes.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

// Creation options (every key is stored in the hive file) and dispositions.
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_OPTION_VOLATILE = 1;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Results are Win32 error codes. A corrupt hive gives ERROR_BADDB on every call, an unreadable
// one ERROR_CANTREAD, a failed replacement ERROR_CANTWRITE; the hive is never overwritten then.
extern "C" {
WINPLAT_API LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                                 DWORD dwOptions, REGSAM samDesired,
                                 const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                 PHKEY phkResult, LPDWORD lpdwDisposition);
WINPLAT_API LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                               PHKEY phkResult);
WINPLAT_API LONG RegCloseKey(HKEY hKey);
WINPLAT_API LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                  LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
WINPLAT_API LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                const BYTE* lpData, DWORD cbData);
WINPLAT_API LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
// Fails with ERROR_ACCESS_DENIED for a key that has subkeys.
WINPLAT_API LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
// Removes a key with its whole subtree; with a null lpSubKey, the subkeys and values of hKey.
WINPLAT_API LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);
// Subkeys in alphabetical order (case-insensitive), values in the order they were first written.
WINPLAT_API LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                               LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                               PFILETIME lpftLastWriteTime);
WINPLAT_API LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                               LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                               LPBYTE lpData, LPDWORD lpcbData);
}

// Whole-hive operations for the reg tool. On failure `error` (when given) receives one line
// naming the file and, for a syntax error, the line number.
namespace plat {

// ERROR_SUCCESS when the hive is missing or reads cleanly.
WINPLAT_API LONG RegCheckHive(std::string* error);
// Writes the whole hive to `file` in the registry-export format.
WINPLAT_API LONG RegExportHive(const std::string& file, std::string* error);
// Merges `file` (registry-export format) into the hive: all of it or, on any error, nothing.
WINPLAT_API LONG RegImportHive(const std::string& file, std::string* error);

}  // namespace plat
