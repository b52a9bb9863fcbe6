// Text helpers of the component: narrow (8-bit ANSI) text packed into BSTRs by byte length, and
// conversions between narrow text and wide BSTRs with the ANSI code page.
// Pure functions; safe from any thread.
#pragma once

#include <string>

#include "plat/types.h"

// The narrow text of a BSTR: its bytes up to the first zero (a null BSTR is empty).
std::string CvnNarrowText(BSTR bstr);
// A BSTR holding the cb bytes of pszText by byte length (it stays zero-terminated).
BSTR CvnNarrowBstr(const char* pszText, size_t cb);
inline BSTR CvnNarrowBstr(const std::string& strText) {
  return CvnNarrowBstr(strText.data(), strText.size());
}
// The characters of a wide BSTR in the ANSI code page (a null BSTR is empty).
std::string CvnNarrowFromWide(BSTR bstrWide);
// A wide BSTR of as many characters as the cb narrow bytes of pszText; null when out of memory.
BSTR CvnWideFromNarrow(const char* pszText, size_t cb);
