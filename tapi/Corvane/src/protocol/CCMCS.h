// CCMCS: the call-status record (148 bytes): every reply to a call-control request and every
// call-status event; the server fills it, the component reads it (received messages are read
// through CCMView). Memory image = wire image; a plain value used by one thread at a time.
#pragma once

#include "CCMMessage.h"

class CCMCS : public CCMMessage {
 public:
  CCMCS();

  DWORD GetRequestId() const { return GetDwordField(CCMLayout::CS::RequestId); }
  void SetRequestId(DWORD dwRequestId) { SetDwordField(CCMLayout::CS::RequestId, dwRequestId); }
  WORD GetFirstLineNum() const { return GetWordField(CCMLayout::CS::FirstLineNum); }
  void SetFirstLineNum(WORD wLine) { SetWordField(CCMLayout::CS::FirstLineNum, wLine); }
  WORD GetSecondLineNum() const { return GetWordField(CCMLayout::CS::SecondLineNum); }
  void SetSecondLineNum(WORD wLine) { SetWordField(CCMLayout::CS::SecondLineNum, wLine); }

  WORD GetFirstAddrLength() const { return GetWordField(CCMLayout::CS::FirstAddr.LengthWord()); }
  void SetFirstAddrLength(WORD wLength) { SetWordField(CCMLayout::CS::FirstAddr.LengthWord(), wLength); }
  void SetFirstAddr(const char* pszAddr) { SetTextField(CCMLayout::CS::FirstAddr, pszAddr); }
  // pszAddr: at least 32 bytes.
  void GetFirstAddr(char* pszAddr) const { GetTextField(CCMLayout::CS::FirstAddr, pszAddr); }

  WORD GetCallerNameLength() const { return GetWordField(CCMLayout::CS::CallerName.LengthWord()); }
  void SetCallerNameLength(WORD wLength) { SetWordField(CCMLayout::CS::CallerName.LengthWord(), wLength); }
  void SetCallerName(const char* pszName) { SetTextField(CCMLayout::CS::CallerName, pszName); }
  // pszName: at least 32 bytes.
  void GetCallerName(char* pszName) const { GetTextField(CCMLayout::CS::CallerName, pszName); }

  WORD GetCallReason() const { return GetWordField(CCMLayout::CS::CallReason); }
  void SetCallReason(WORD wReason) { SetWordField(CCMLayout::CS::CallReason, wReason); }
  WORD GetDTMFDigit() const { return GetWordField(CCMLayout::CS::DTMFDigit); }
  void SetDTMFDigit(WORD wDigit) { SetWordField(CCMLayout::CS::DTMFDigit, wDigit); }
  WORD GetStatus() const { return GetWordField(CCMLayout::CS::Status); }
  void SetStatus(WORD wStatus) { SetWordField(CCMLayout::CS::Status, wStatus); }

  WORD GetDialedNumLength() const { return GetWordField(CCMLayout::CS::DialedNum.LengthWord()); }
  void SetDialedNumLength(WORD wLength) { SetWordField(CCMLayout::CS::DialedNum.LengthWord(), wLength); }
  void SetDialedNum(const char* pszNumber) { SetTextField(CCMLayout::CS::DialedNum, pszNumber); }
  // pszNumber: at least 32 bytes.
  void GetDialedNum(char* pszNumber) const { GetTextField(CCMLayout::CS::DialedNum, pszNumber); }

 private:
  BYTE m_Bytes[CCMLayout::CS_SIZE];
};

static_assert(sizeof(CCMCS) == CCMLayout::CS_SIZE, "memory image = wire image");
