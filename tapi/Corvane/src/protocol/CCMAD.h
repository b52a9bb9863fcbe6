// CCMAD: the administrative record (52 bytes): registration and unregistration requests, their
// replies and the shutdown notice. Memory image = wire image; a plain value used by one thread
// at a time.
#pragma once

#include "CCMMessage.h"

class CCMAD : public CCMMessage {
 public:
  CCMAD();

  WORD GetPasswordLength() const { return GetWordField(CCMLayout::AD::Password.LengthWord()); }
  void SetPasswordLength(WORD wLength) { SetWordField(CCMLayout::AD::Password.LengthWord(), wLength); }
  // At most 15 characters are kept.
  void SetPassword(const char* pszPassword) { SetTextField(CCMLayout::AD::Password, pszPassword); }
  // pszPassword: at least 16 bytes.
  void GetPassword(char* pszPassword) const { GetTextField(CCMLayout::AD::Password, pszPassword); }
  WORD GetStatus() const { return GetWordField(CCMLayout::AD::Status); }
  void SetStatus(WORD wStatus) { SetWordField(CCMLayout::AD::Status, wStatus); }

 private:
  BYTE m_Bytes[CCMLayout::AD_SIZE];
};

static_assert(sizeof(CCMAD) == CCMLayout::AD_SIZE, "memory image = wire image");
