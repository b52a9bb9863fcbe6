#include "CCMPC.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "KivLog.h"

CCMPC::CCMPC() : m_Bytes{}, m_dwOperations(0) {
  static_assert(std::is_standard_layout_v<CCMPC>);
  static_assert(offsetof(CCMPC, m_dwOperations) == CCMLayout::PC_SIZE,
                "the operation mirror lies outside the wire image");
  InitHeader(CCMLayout::PC_SIZE);
}

void CCMPC::Reset() {
  std::memset(m_Bytes + CCMLayout::HEADER_SIZE, 0, CCMLayout::PC_SIZE - CCMLayout::HEADER_SIZE);
  SetLength(CCMLayout::PC_SIZE);
  m_dwOperations = 0;
}

void CCMPC::SetPhoneOperation(DWORD dwOp) {
  if (!CCMLayout::AddPhoneOperation(m_dwOperations, dwOp)) {
    KivLog::PrintWarning(0, "CCMPC SetPhoneOperation(): Unknown Phone Operation Type (%d)",
                         static_cast<int>(dwOp));
  }
  WriteOperations();
}

void CCMPC::ClearPhoneOperation(DWORD dwOp) {
  if (!CCMLayout::RemovePhoneOperation(m_dwOperations, dwOp)) {
    KivLog::PrintWarning(0, "CCMPC ClearPhoneOperation: Unknown Phone Operation Type (%d)",
                         static_cast<int>(dwOp));
  }
  WriteOperations();
}

DWORD CCMPC::bIsItSet(DWORD dwOp) const {
  const DWORD dwBit = CCMLayout::PhoneOperationBit(dwOp);
  if (dwBit == 0) {
    KivLog::PrintWarning(0, "CCMPC bIsItSet(): Unknown Phone Operation Type (%d)",
                         static_cast<int>(dwOp));
  }
  return m_dwOperations & dwBit;
}

void CCMPC::SetSettingWords2to5(WORD w2, WORD w3, WORD w4, WORD w5) {
  SetSettingWord(2, w2);
  SetSettingWord(3, w3);
  SetSettingWord(4, w4);
  SetSettingWord(5, w5);
}
