// CCMCC: the call-control request record (108 bytes): off-hook, answer, dial, transfer, hold,
// park, pickup and the other requests. Memory image = wire image; a plain value used by one
// thread at a time.
#pragma once

#include "CCMMessage.h"

class CCMCC : public CCMMessage {
 public:
  CCMCC();

  DWORD GetRequestId() const { return GetDwordField(CCMLayout::CC::RequestId); }
  void SetRequestId(DWORD dwRequestId) { SetDwordField(CCMLayout::CC::RequestId, dwRequestId); }
  WORD GetLineNumber() const { return GetWordField(CCMLayout::CC::LineNumber); }
  void SetLineNumber(WORD wLine) { SetWordField(CCMLayout::CC::LineNumber, wLine); }
  WORD GetSecondNumber() const { return GetWordField(CCMLayout::CC::SecondNumber); }
  void SetSecondNumber(WORD wNumber) { SetWordField(CCMLayout::CC::SecondNumber, wNumber); }

  WORD GetDigitsLength() const { return GetWordField(CCMLayout::CC::Digits.LengthWord()); }
  void SetDigitsLength(WORD wLength) { SetWordField(CCMLayout::CC::Digits.LengthWord(), wLength); }
  // At most 31 characters are kept.
  void SetDigits(const char* pszDigits) { SetTextField(CCMLayout::CC::Digits, pszDigits); }
  // pszDigits: at least 32 bytes.
  void GetDigits(char* pszDigits) const { GetTextField(CCMLayout::CC::Digits, pszDigits); }

  WORD GetSecondTextLength() const { return GetWordField(CCMLayout::CC::SecondText.LengthWord()); }
  void SetSecondTextLength(WORD wLength) { SetWordField(CCMLayout::CC::SecondText.LengthWord(), wLength); }
  void SetSecondText(const char* pszText) { SetTextField(CCMLayout::CC::SecondText, pszText); }
  // pszText: at least 32 bytes.
  void GetSecondText(char* pszText) const { GetTextField(CCMLayout::CC::SecondText, pszText); }

 private:
  BYTE m_Bytes[CCMLayout::CC_SIZE];
};

static_assert(sizeof(CCMCC) == CCMLayout::CC_SIZE, "memory image = wire image");
