#include "CCMPR.h"

#include <cstddef>
#include <type_traits>

#include "KivLog.h"

CCMPR::CCMPR() : m_Bytes{}, m_dwOperations(0) {
  static_assert(std::is_standard_layout_v<CCMPR>);
  static_assert(offsetof(CCMPR, m_dwOperations) == CCMLayout::PR_SIZE,
                "the operation mirror lies outside the wire image");
  InitHeader(CCMLayout::PR_SIZE);
}

void CCMPR::SetQueryOperation(DWORD dwOp) {
  if (!CCMLayout::AddPhoneOperation(m_dwOperations, dwOp)) {
    KivLog::PrintWarning(0, "CCMPR SetQueryOperation(): Unknown Phone Operation Type (%d)",
                         static_cast<int>(dwOp));
  }
  WriteOperations();
}

void CCMPR::ClearQueryOperation(DWORD dwOp) {
  if (!CCMLayout::RemovePhoneOperation(m_dwOperations, dwOp)) {
    KivLog::PrintWarning(0, "CCMPR ClearQueryOperation: Unknown Phone Operation Type (%d)",
                         static_cast<int>(dwOp));
  }
  WriteOperations();
}

DWORD CCMPR::bIsItSet(DWORD dwOp) const {
  return bIsItSet(CCMView(GetBytes(), CCMLayout::PR_SIZE), dwOp);
}

DWORD CCMPR::bIsItSet(const CCMView& msg, DWORD dwOp) {
  const DWORD dwBit = CCMLayout::PhoneOperationBit(dwOp);
  if (dwBit == 0) {
    KivLog::PrintWarning(0, "CCMPR bIsItSet(): Unknown Phone Operation Type (%d)",
                         static_cast<int>(dwOp));
    return 0;
  }
  DWORD dwOperations = 0;
  msg.GetDword(CCMLayout::PR::Operations, &dwOperations);
  return dwOperations & dwBit;
}

void CCMPR::SetReplyWords3to4(WORD w3, WORD w4) {
  SetReplyWord(3, w3);
  SetReplyWord(4, w4);
}

void CCMPR::SetReplyWords6to9(WORD w6, WORD w7, WORD w8, WORD w9) {
  SetReplyWord(6, w6);
  SetReplyWord(7, w7);
  SetReplyWord(8, w8);
  SetReplyWord(9, w9);
}
