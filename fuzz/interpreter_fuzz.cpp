// Fuzz target: the message interpreter over an arbitrary received message. The input becomes a
// heap buffer of exactly its size, as the reader hands a framed message on: 4 to 2048 bytes
// whose Length word is at most the buffer's size. Every getter (narrow and wide), the phone
// operation test and DumpA run over it; each text getter's result lies within its field.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "CCMLayout.h"
#include "Corvane.h"
#include "MsgInterpreter.h"
#include "fuzz_support.h"
#include "plat/oleauto.h"

namespace {

volatile long g_sink;

using LongGetter = HRESULT (STDMETHODCALLTYPE IMsgInterpreter::*)(LONG*);
using TextGetter = HRESULT (STDMETHODCALLTYPE IMsgInterpreter::*)(BSTR*);

constexpr LongGetter kLongGetters[] = {
    &IMsgInterpreter::GetMsgType,      &IMsgInterpreter::GetMsgCategory,   &IMsgInterpreter::GetStatus,
    &IMsgInterpreter::GetFirstLineNum, &IMsgInterpreter::GetSecondLineNum, &IMsgInterpreter::GetCallReason,
    &IMsgInterpreter::GetDTMFDigit,    &IMsgInterpreter::GetMsgLength,     &IMsgInterpreter::GetMsgRevision,
    &IMsgInterpreter::GetSecurityCookie, &IMsgInterpreter::GetRequestId,
};
// Narrow getters; a text field's array holds at most 31 characters.
constexpr TextGetter kNarrowGetters[] = {
    &IMsgInterpreter::GetUserExtensionA, &IMsgInterpreter::GetCallerNameA, &IMsgInterpreter::GetFirstAddrA,
    &IMsgInterpreter::GetPhoneOwnerNameA, &IMsgInterpreter::GetDialedNumA,
};
constexpr TextGetter kWideGetters[] = {
    &IMsgInterpreter::GetUserExtension, &IMsgInterpreter::GetCallerName, &IMsgInterpreter::GetFirstAddr,
    &IMsgInterpreter::GetPhoneOwnerName, &IMsgInterpreter::GetDialedNum,
};

BYTE* CopyMessage(const uint8_t* data, size_t size) {
  BYTE* buffer = new BYTE[size];
  std::memcpy(buffer, data, size);
  if (CCMLayout::ReadWord(buffer + CCMLayout::Length.m_nOffset) > size) {
    CCMLayout::WriteWord(buffer + CCMLayout::Length.m_nOffset, static_cast<WORD>(size));
  }
  return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kivfuzz::UsePrivatePrefix();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < CCMLayout::Length.End() || size > CCMLayout::MAX_MSG_SIZE) return 0;  // never framed
  void* pv = nullptr;
  KIVFUZZ_CHECK(SUCCEEDED(MsgInterpreter::CreateInstance(IID_IMsgInterpreter, &pv)));
  IMsgInterpreter* interpreter = static_cast<IMsgInterpreter*>(pv);
  // A second body replaces the first (which is freed); giving the same one again keeps it.
  interpreter->SetMsgBody(CopyMessage(data, size));
  BYTE* body = CopyMessage(data, size);
  interpreter->SetMsgBody(body);
  interpreter->SetMsgBody(body);

  for (const LongGetter getter : kLongGetters) {
    LONG value = 0;
    g_sink = (interpreter->*getter)(&value) + value;
  }
  for (const TextGetter getter : kNarrowGetters) {
    BSTR text = nullptr;
    if (SUCCEEDED((interpreter->*getter)(&text))) KIVFUZZ_CHECK(SysStringByteLen(text) <= 31);
    SysFreeString(text);
  }
  for (const TextGetter getter : kWideGetters) {
    BSTR text = nullptr;
    if (SUCCEEDED((interpreter->*getter)(&text))) KIVFUZZ_CHECK(SysStringLen(text) <= 31);
    SysFreeString(text);
  }
  for (int op = -1; op <= 21; ++op) {
    LONG set = 0;
    g_sink = interpreter->IsPhoneOperationSet(static_cast<CvnPhoneOperationE>(op), &set) + set;
  }
  BSTR dump = nullptr;
  KIVFUZZ_CHECK(SUCCEEDED(interpreter->DumpA(&dump)));
  const WORD length = CCMLayout::ReadWord(body + CCMLayout::Length.m_nOffset);
  // Three characters per byte of the message, after the heading.
  KIVFUZZ_CHECK(SysStringByteLen(dump) >= 3u * length);
  SysFreeString(dump);
  interpreter->Release();
  return 0;
}
