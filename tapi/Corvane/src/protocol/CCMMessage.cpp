#include "CCMMessage.h"

#include <cstring>

#include "KivLog.h"

void CCMMessage::InitHeader(WORD wTotalSize) {
  std::memset(Bytes(), 0, CCMLayout::HEADER_SIZE);
  SetWordField(CCMLayout::Magic, CCMLayout::MAGIC);
  SetReserved(CCMLayout::RESERVED);
  SetRevision(CCMLayout::REVISION);
  SetLength(wTotalSize);
}

void CCMMessage::GetTextField(const CCMTextField& field, char* pszText) const {
  const size_t nChars = CCMLayout::TextLength(GetBytes(), field.End(), field);
  std::memcpy(pszText, GetBytes() + field.ArrayOffset(), nChars);
  pszText[nChars] = '\0';
}

int CCMMessage::send(SOCKET hSocket) const {
  char szExtension[CCMLayout::Extension.m_nArraySize];
  GetExtension(szExtension);
  // The trace shows the Type word as it is stored, in network order, taken as a host integer.
  WORD wStoredType = 0;
  std::memcpy(&wStoredType, GetBytes() + CCMLayout::Type.m_nOffset, sizeof wStoredType);
  KivLog::Log(0x120, 0, "CCMMessage: Extension (%s) Message Type %x ", szExtension,
              static_cast<unsigned>(wStoredType));

  const int nLength = GetLength();
  const int nSent = static_cast<int>(
      ::send(hSocket, reinterpret_cast<const char*>(GetBytes()), nLength, 0));
  if (nSent != nLength) {
    KivLog::PrintError(0, "CCMMessage.send():: Error writing TCP socket %d",
                       static_cast<int>(hSocket));
  }
  return nSent;
}
