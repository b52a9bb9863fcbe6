// CCMView: a read-only view of a received call-control message, read through the same field
// table as the records (CCMLayout.h). It reads only within the received Length: the smaller of
// the header's Length and the size of the buffer it was given; a field outside that reads as
// absent. It neither copies nor owns the bytes. Safe to use from any thread that keeps the
// buffer alive.
#pragma once

#include <cstddef>
#include <string>

#include "CCMLayout.h"

class CCMView {
 public:
  // pData holds cbData readable bytes (a complete received message or a prefix of one).
  CCMView(const BYTE* pData, size_t cbData);

  const BYTE* GetData() const { return m_pData; }
  // The bytes the getters may read.
  size_t GetReceivedLength() const { return m_cbReceived; }

  bool Holds(const CCMWordField& field) const { return field.End() <= m_cbReceived; }
  bool Holds(const CCMDwordField& field) const { return field.End() <= m_cbReceived; }
  bool Holds(const CCMTextField& field) const { return field.End() <= m_cbReceived; }

  // Each getter returns false and yields 0 (or an empty text) for a field outside the received
  // Length; numeric values are returned in host order.
  bool GetWord(const CCMWordField& field, WORD* pwValue) const;
  bool GetDword(const CCMDwordField& field, DWORD* pdwValue) const;
  // Copies the text (the array up to its zero, at most m_nArraySize - 1 characters) and a
  // terminating zero into pszText, cbText bytes, cutting it to fit; cbText must be at least 1.
  bool GetText(const CCMTextField& field, char* pszText, size_t cbText) const;
  bool GetText(const CCMTextField& field, std::string& strText) const;

  // Header shortcuts: 0 when absent.
  WORD GetLength() const { return WordOrZero(CCMLayout::Length); }
  WORD GetType() const { return WordOrZero(CCMLayout::Type); }

 private:
  WORD WordOrZero(const CCMWordField& field) const;

  const BYTE* m_pData;
  size_t m_cbReceived;
};
