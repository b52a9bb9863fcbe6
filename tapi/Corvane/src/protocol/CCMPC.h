// CCMPC: the phone query / configuration request record (128 wire bytes) and its operation set.
// The wire bytes come first; a host-order mirror of the operation set follows them outside the
// wire image, and set and clear rewrite the wire field from it. A plain value used by one thread
// at a time (the endpoint keeps one for its whole life).
#pragma once

#include "CCMMessage.h"

class CCMPC : public CCMMessage {
 public:
  CCMPC();
  // Length 128, body and operation set zero; the header's Type and Extension stay.
  void Reset();

  // dwOp is a CvnPhoneOperationE value. Set: 0-17 add their bit, eCvnSetAllQuery makes the set
  // exactly the eight query items. Clear: 0-17 remove their bit, eCvnClearAll empties the set.
  // Any other value changes nothing and prints a warning.
  void SetPhoneOperation(DWORD dwOp);
  void ClearPhoneOperation(DWORD dwOp);
  // The operation's bit of the set (non-zero when set); 0 and a warning for an unknown value.
  DWORD bIsItSet(DWORD dwOp) const;
  // The operation set as it is on the wire (host order).
  DWORD GetOperationSet() const { return GetDwordField(CCMLayout::PC::Operations); }

  // nWord 1 to 12.
  WORD GetSettingWord(int nWord) const { return GetWordField(CCMLayout::PC::SettingWords[nWord - 1]); }
  void SetSettingWord(int nWord, WORD wValue) { SetWordField(CCMLayout::PC::SettingWords[nWord - 1], wValue); }
  void SetSettingWords2to5(WORD w2, WORD w3, WORD w4, WORD w5);

  WORD GetText1Length() const { return GetWordField(CCMLayout::PC::Text1.LengthWord()); }
  void SetText1Length(WORD wLength) { SetWordField(CCMLayout::PC::Text1.LengthWord(), wLength); }
  void SetText1(const char* pszText) { SetTextField(CCMLayout::PC::Text1, pszText); }
  // pszText: at least 32 bytes.
  void GetText1(char* pszText) const { GetTextField(CCMLayout::PC::Text1, pszText); }
  WORD GetText2Length() const { return GetWordField(CCMLayout::PC::Text2.LengthWord()); }
  void SetText2Length(WORD wLength) { SetWordField(CCMLayout::PC::Text2.LengthWord(), wLength); }
  void SetText2(const char* pszText) { SetTextField(CCMLayout::PC::Text2, pszText); }
  // pszText: at least 32 bytes.
  void GetText2(char* pszText) const { GetTextField(CCMLayout::PC::Text2, pszText); }

 private:
  void WriteOperations() { SetDwordField(CCMLayout::PC::Operations, m_dwOperations); }

  BYTE m_Bytes[CCMLayout::PC_SIZE];
  // Host-order mirror of the operation set; not part of the wire image.
  DWORD m_dwOperations;
};
