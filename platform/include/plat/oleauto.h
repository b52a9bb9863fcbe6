// BSTR allocation with the Windows memory layout: a 4-byte byte count just before the pointer,
// then the characters, then a 2-byte zero. SysAllocStringByteLen keeps one more zero byte so
// that narrow text packed into a BSTR by byte length stays zero-terminated.
// All functions may be called from any thread; a BSTR belongs to whoever holds it.
#pragma once

#include "plat/types.h"

// A copy of the zero-terminated string psz; null for a null psz or when memory runs out.
extern "C" WINPLAT_API BSTR SysAllocString(const OLECHAR* psz);

// A string of ui characters copied from strIn (zero-filled when strIn is null).
extern "C" WINPLAT_API BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui);

// A string of len bytes copied from psz (zero-filled when psz is null); the byte length is len,
// not rounded to characters.
extern "C" WINPLAT_API BSTR SysAllocStringByteLen(LPCSTR psz, UINT len);

// Replaces *pbstr by a copy of psz and frees the old string; FALSE (and *pbstr untouched) when
// memory runs out.
extern "C" WINPLAT_API INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);

// Characters (byte length / 2) and bytes of a BSTR; 0 for a null BSTR.
extern "C" WINPLAT_API UINT SysStringLen(BSTR pbstr);
extern "C" WINPLAT_API UINT SysStringByteLen(BSTR bstr);

// Frees a BSTR; a null BSTR is allowed.
extern "C" WINPLAT_API void SysFreeString(BSTR bstrString);
