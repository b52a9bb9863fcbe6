#include "CCMLayout.h"

#include <cstring>

namespace CCMLayout {

void WriteText(BYTE* pImage, const CCMTextField& field, const char* pszText) {
  const char* pszSource = pszText != nullptr ? pszText : "";
  const size_t nLimit = field.m_nArraySize - 1;
  const size_t nLength = strnlen(pszSource, field.m_nArraySize);
  BYTE* pArray = pImage + field.ArrayOffset();
  if (nLength <= nLimit) {
    std::memcpy(pArray, pszSource, nLength + 1);
    WriteWord(pImage + field.m_nLengthOffset, static_cast<WORD>(nLength));
  } else {
    std::memcpy(pArray, pszSource, nLimit);
    pArray[nLimit] = 0;
    WriteWord(pImage + field.m_nLengthOffset, static_cast<WORD>(nLimit));
  }
}

size_t TextLength(const BYTE* pImage, size_t cbImage, const CCMTextField& field) {
  if (pImage == nullptr || field.End() > cbImage) return 0;
  const void* pArray = pImage + field.ArrayOffset();
  const void* pZero = std::memchr(pArray, 0, field.m_nArraySize - 1);
  return pZero != nullptr ? static_cast<size_t>(static_cast<const BYTE*>(pZero) -
                                                static_cast<const BYTE*>(pArray))
                          : field.m_nArraySize - 1;
}

}  // namespace CCMLayout
