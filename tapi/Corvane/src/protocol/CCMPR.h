// CCMPR: the phone reply record (176 wire bytes): the server's answer to a phone query or
// configuration request, with its operation set, status and owner name. The wire bytes come
// first; a host-order mirror of the operation set follows them outside the wire image. A
// received reply carries no mirror: its operation set is tested in place through CCMView.
// A plain value used by one thread at a time.
#pragma once

#include "CCMMessage.h"
#include "CCMView.h"

class CCMPR : public CCMMessage {
 public:
  CCMPR();

  // As CCMPC's SetPhoneOperation / ClearPhoneOperation, with their own warnings.
  void SetQueryOperation(DWORD dwOp);
  void ClearQueryOperation(DWORD dwOp);
  // The operation's bit of the set (non-zero when set); 0 and a warning for an unknown value.
  DWORD bIsItSet(DWORD dwOp) const;
  // The same test on a received reply: reads the operation set in the message (0 when the
  // message is too short to hold it).
  static DWORD bIsItSet(const CCMView& msg, DWORD dwOp);
  // The operation set as it is on the wire (host order).
  DWORD GetOperationSet() const { return GetDwordField(CCMLayout::PR::Operations); }

  // nWord 1 to 18.
  WORD GetReplyWord(int nWord) const { return GetWordField(CCMLayout::PR::ReplyWords[nWord - 1]); }
  void SetReplyWord(int nWord, WORD wValue) { SetWordField(CCMLayout::PR::ReplyWords[nWord - 1], wValue); }
  void SetReplyWords3to4(WORD w3, WORD w4);
  void SetReplyWords6to9(WORD w6, WORD w7, WORD w8, WORD w9);

  WORD GetReplyText1Length() const { return GetWordField(CCMLayout::PR::ReplyText1.LengthWord()); }
  void SetReplyText1Length(WORD wLength) { SetWordField(CCMLayout::PR::ReplyText1.LengthWord(), wLength); }
  void SetReplyText1(const char* pszText) { SetTextField(CCMLayout::PR::ReplyText1, pszText); }
  // pszText: at least 32 bytes.
  void GetReplyText1(char* pszText) const { GetTextField(CCMLayout::PR::ReplyText1, pszText); }
  WORD GetReplyText2Length() const { return GetWordField(CCMLayout::PR::ReplyText2.LengthWord()); }
  void SetReplyText2Length(WORD wLength) { SetWordField(CCMLayout::PR::ReplyText2.LengthWord(), wLength); }
  void SetReplyText2(const char* pszText) { SetTextField(CCMLayout::PR::ReplyText2, pszText); }
  // pszText: at least 32 bytes.
  void GetReplyText2(char* pszText) const { GetTextField(CCMLayout::PR::ReplyText2, pszText); }

  WORD GetOwnerNameLength() const { return GetWordField(CCMLayout::PR::OwnerName.LengthWord()); }
  void SetOwnerNameLength(WORD wLength) { SetWordField(CCMLayout::PR::OwnerName.LengthWord(), wLength); }
  void SetOwnerName(const char* pszName) { SetTextField(CCMLayout::PR::OwnerName, pszName); }
  // pszName: at least 32 bytes.
  void GetOwnerName(char* pszName) const { GetTextField(CCMLayout::PR::OwnerName, pszName); }

  WORD GetStatus() const { return GetWordField(CCMLayout::PR::Status); }
  void SetStatus(WORD wStatus) { SetWordField(CCMLayout::PR::Status, wStatus); }

 private:
  void WriteOperations() { SetDwordField(CCMLayout::PR::Operations, m_dwOperations); }

  BYTE m_Bytes[CCMLayout::PR_SIZE];
  // Host-order mirror of the operation set; not part of the wire image.
  DWORD m_dwOperations;
};
