// CCMMessage: the 32-byte header shared by every call-control record, and sending a record.
// A record's memory image is its wire image: the derived records (CCMAD, CCMCC, CCMCS, CCMPC,
// CCMPR) hold the bytes, this base holds none and reads and writes them in place. A record is a
// plain value used by one thread at a time.
#pragma once

#include "CCMLayout.h"
#include "plat/sockets.h"

class CCMMessage {
 public:
  WORD GetLength() const { return GetWordField(CCMLayout::Length); }
  void SetLength(WORD wLength) { SetWordField(CCMLayout::Length, wLength); }
  WORD GetType() const { return GetWordField(CCMLayout::Type); }
  void SetType(WORD wType) { SetWordField(CCMLayout::Type, wType); }
  WORD GetRevision() const { return GetWordField(CCMLayout::Revision); }
  void SetRevision(WORD wRevision) { SetWordField(CCMLayout::Revision, wRevision); }
  WORD GetSecurityCookie() const { return GetWordField(CCMLayout::SecurityCookie); }
  void SetSecurityCookie(WORD wCookie) { SetWordField(CCMLayout::SecurityCookie, wCookie); }
  WORD GetReserved() const { return GetWordField(CCMLayout::Reserved); }
  void SetReserved(WORD wReserved) { SetWordField(CCMLayout::Reserved, wReserved); }

  WORD GetExtensionLength() const { return GetWordField(CCMLayout::Extension.LengthWord()); }
  void SetExtensionLength(WORD wLength) { SetWordField(CCMLayout::Extension.LengthWord(), wLength); }
  // At most 17 characters are kept.
  void SetExtension(const char* pszExtension) { SetTextField(CCMLayout::Extension, pszExtension); }
  // pszExtension: at least 18 bytes.
  void GetExtension(char* pszExtension) const { GetTextField(CCMLayout::Extension, pszExtension); }

  // Sends Length bytes from the start of the record in one socket send and returns what the
  // socket layer reports (negative on a socket error). A count other than Length is reported.
  int send(SOCKET hSocket) const;

  const BYTE* GetBytes() const { return reinterpret_cast<const BYTE*>(this); }

 protected:
  // Only the derived records are messages; they zero their bytes, then call InitHeader.
  CCMMessage() = default;
  void InitHeader(WORD wTotalSize);

  BYTE* Bytes() { return reinterpret_cast<BYTE*>(this); }

  WORD GetWordField(const CCMWordField& field) const {
    return CCMLayout::ReadWord(GetBytes() + field.m_nOffset);
  }
  void SetWordField(const CCMWordField& field, WORD wValue) {
    CCMLayout::WriteWord(Bytes() + field.m_nOffset, wValue);
  }
  DWORD GetDwordField(const CCMDwordField& field) const {
    return CCMLayout::ReadDword(GetBytes() + field.m_nOffset);
  }
  void SetDwordField(const CCMDwordField& field, DWORD dwValue) {
    CCMLayout::WriteDword(Bytes() + field.m_nOffset, dwValue);
  }
  void SetTextField(const CCMTextField& field, const char* pszText) {
    CCMLayout::WriteText(Bytes(), field, pszText);
  }
  // pszText: at least field.m_nArraySize bytes.
  void GetTextField(const CCMTextField& field, char* pszText) const;
};
