// Win32 file functions over the prefix: "C:\..." paths land under $KIV_PREFIX/drive_c/.
// All functions may be called from any thread; file handles live in the one handle table and
// are closed by CloseHandle. Share modes are accepted and not enforced. Folders are never made
// implicitly: a missing folder fails with ERROR_PATH_NOT_FOUND.
#pragma once

#include "plat/sync.h"
#include "plat/types.h"

// Access rights.
inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD FILE_APPEND_DATA = 0x00000004u;  // alone: every write goes to the end

// Share modes (not enforced).
inline constexpr DWORD FILE_SHARE_READ = 0x00000001u;
inline constexpr DWORD FILE_SHARE_WRITE = 0x00000002u;
inline constexpr DWORD FILE_SHARE_DELETE = 0x00000004u;

// Creation dispositions.
inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;

// Attributes.
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001u;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010u;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080u;
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

// Sizes and positions.
inline constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;
inline constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD FILE_CURRENT = 1;
inline constexpr DWORD FILE_END = 2;

// Asynchronous I/O is not provided: pass nullptr wherever an OVERLAPPED is asked for.
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

// CREATE_ALWAYS and OPEN_ALWAYS set ERROR_ALREADY_EXISTS when the file was there. Returns
// INVALID_HANDLE_VALUE on failure.
extern "C" WINPLAT_API HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess,
                                          DWORD dwShareMode,
                                          LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                                          HANDLE hTemplateFile);
extern "C" WINPLAT_API BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
// At the end of the file: TRUE with 0 bytes read.
extern "C" WINPLAT_API BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
extern "C" WINPLAT_API BOOL FlushFileBuffers(HANDLE hFile);
extern "C" WINPLAT_API DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
extern "C" WINPLAT_API DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove,
                                            LPLONG lpDistanceToMoveHigh, DWORD dwMoveMethod);
// Fails (ERROR_ALREADY_EXISTS) when the target exists and (ERROR_FILE_NOT_FOUND) when the source
// is missing; never replaces a file, also when another process races for the target.
extern "C" WINPLAT_API BOOL MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName);
extern "C" WINPLAT_API BOOL DeleteFileA(LPCSTR lpFileName);
extern "C" WINPLAT_API BOOL CreateDirectoryA(LPCSTR lpPathName,
                                             LPSECURITY_ATTRIBUTES lpSecurityAttributes);
extern "C" WINPLAT_API DWORD GetFileAttributesA(LPCSTR lpFileName);
