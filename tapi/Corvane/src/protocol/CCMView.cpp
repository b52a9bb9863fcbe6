#include "CCMView.h"

#include <algorithm>
#include <cstring>

CCMView::CCMView(const BYTE* pData, size_t cbData) : m_pData(pData), m_cbReceived(cbData) {
  if (pData == nullptr) {
    m_cbReceived = 0;
  } else if (Holds(CCMLayout::Length)) {
    m_cbReceived = std::min<size_t>(cbData, CCMLayout::ReadWord(pData + CCMLayout::Length.m_nOffset));
  }
}

bool CCMView::GetWord(const CCMWordField& field, WORD* pwValue) const {
  const bool bHeld = Holds(field);
  *pwValue = bHeld ? CCMLayout::ReadWord(m_pData + field.m_nOffset) : 0;
  return bHeld;
}

bool CCMView::GetDword(const CCMDwordField& field, DWORD* pdwValue) const {
  const bool bHeld = Holds(field);
  *pdwValue = bHeld ? CCMLayout::ReadDword(m_pData + field.m_nOffset) : 0;
  return bHeld;
}

bool CCMView::GetText(const CCMTextField& field, char* pszText, size_t cbText) const {
  const size_t nChars =
      std::min(CCMLayout::TextLength(m_pData, m_cbReceived, field), cbText - 1);
  if (nChars > 0) std::memcpy(pszText, m_pData + field.ArrayOffset(), nChars);
  pszText[nChars] = '\0';
  return Holds(field);
}

bool CCMView::GetText(const CCMTextField& field, std::string& strText) const {
  const size_t nChars = CCMLayout::TextLength(m_pData, m_cbReceived, field);
  strText.clear();
  if (nChars > 0) strText.assign(reinterpret_cast<const char*>(m_pData) + field.ArrayOffset(), nChars);
  return Holds(field);
}

WORD CCMView::WordOrZero(const CCMWordField& field) const {
  WORD wValue = 0;
  GetWord(field, &wValue);
  return wValue;
}
