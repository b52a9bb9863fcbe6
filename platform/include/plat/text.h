// Conversion between the ANSI code page (Windows-1252) and UTF-16, as MultiByteToWideChar and
// WideCharToMultiByte do it. Stateless; may be called from any thread.
#pragma once

#include "plat/types.h"

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_1252 = 1252;
inline constexpr UINT CP_UTF8 = 65001;

// Converts cbMultiByte bytes of lpMultiByteStr (-1: up to and including its zero byte) to
// UTF-16. With cchWideChar 0 returns the characters needed; otherwise the characters written,
// or 0 with ERROR_INSUFFICIENT_BUFFER when they do not fit (ERROR_INVALID_PARAMETER for bad
// arguments or an unknown code page). dwFlags is ignored.
extern "C" WINPLAT_API int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                                               int cbMultiByte, LPWSTR lpWideCharStr,
                                               int cchWideChar);

// Converts cchWideChar characters of lpWideCharStr (-1: up to and including its zero) to the
// code page; a character the code page cannot show becomes lpDefaultChar's first byte ('?' when
// null) and sets *lpUsedDefaultChar. Size query and errors as MultiByteToWideChar.
extern "C" WINPLAT_API int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr,
                                               int cchWideChar, LPSTR lpMultiByteStr,
                                               int cbMultiByte, LPCSTR lpDefaultChar,
                                               BOOL* lpUsedDefaultChar);
