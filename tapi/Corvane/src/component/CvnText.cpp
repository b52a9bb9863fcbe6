#include "CvnText.h"

#include <cstring>

#include "plat/oleauto.h"
#include "plat/text.h"

std::string CvnNarrowText(BSTR bstr) {
  if (bstr == nullptr) {
    return std::string();
  }
  const char* pszText = reinterpret_cast<const char*>(bstr);
  return std::string(pszText, strnlen(pszText, SysStringByteLen(bstr)));
}

BSTR CvnNarrowBstr(const char* pszText, size_t cb) {
  return SysAllocStringByteLen(pszText, static_cast<UINT>(cb));
}

std::string CvnNarrowFromWide(BSTR bstrWide) {
  const int nChars = static_cast<int>(SysStringLen(bstrWide));
  if (nChars == 0) {
    return std::string();
  }
  const int cb = WideCharToMultiByte(CP_ACP, 0, bstrWide, nChars, nullptr, 0, nullptr, nullptr);
  std::string strText(static_cast<size_t>(cb > 0 ? cb : 0), '\0');
  if (cb > 0) {
    WideCharToMultiByte(CP_ACP, 0, bstrWide, nChars, strText.data(), cb, nullptr, nullptr);
  }
  // The narrow text ends at its first zero, as every narrow reader of it sees it.
  strText.resize(std::strlen(strText.c_str()));
  return strText;
}

BSTR CvnWideFromNarrow(const char* pszText, size_t cb) {
  const int nBytes = static_cast<int>(cb);
  const int nChars = nBytes == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, pszText, nBytes, nullptr, 0);
  BSTR bstrWide = SysAllocStringLen(nullptr, static_cast<UINT>(nChars > 0 ? nChars : 0));
  if (bstrWide != nullptr && nChars > 0) {
    MultiByteToWideChar(CP_ACP, 0, pszText, nBytes, bstrWide, nChars);
  }
  return bstrWide;
}
