// Fuzz target: the received-message view of the call-control records. The input is one
// received buffer, copied to a heap block of exactly its size so that any read past the end is
// caught; every header and body field of every category is read through CCMView, with text
// buffers of several sizes, and the type code goes through the message catalogue.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "CCMLayout.h"
#include "CCMPR.h"
#include "CCMView.h"
#include "MsgCatalogue.h"
#include "fuzz_support.h"

namespace {

volatile uint32_t g_sink;

void Read(const CCMView& view, const CCMWordField& field) {
  WORD w = 0;
  g_sink = view.GetWord(field, &w) + w;
}

void Read(const CCMView& view, const CCMDwordField& field) {
  DWORD dw = 0;
  g_sink = view.GetDword(field, &dw) + dw;
}

void Read(const CCMView& view, const CCMTextField& field) {
  Read(view, field.LengthWord());
  std::string text;
  const bool held = view.GetText(field, text);
  KIVFUZZ_CHECK(held || text.empty());  // a field outside the message holds nothing
  KIVFUZZ_CHECK(text.size() < field.m_nArraySize && text.find('\0') == std::string::npos);
  // Exactly sized output buffers, so that a write past cbText is caught too.
  for (const size_t cb : {size_t{1}, size_t{2}, size_t{7}, field.m_nArraySize}) {
    const std::unique_ptr<char[]> out(new char[cb]);
    view.GetText(field, out.get(), cb);
    KIVFUZZ_CHECK(std::strlen(out.get()) == std::min(text.size(), cb - 1));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::unique_ptr<BYTE[]> buffer(new BYTE[size]);
  if (size > 0) std::memcpy(buffer.get(), data, size);
  const CCMView view(buffer.get(), size);
  KIVFUZZ_CHECK(view.GetReceivedLength() <= size);

  namespace L = CCMLayout;
  for (const CCMWordField& field : {L::Magic, L::Length, L::Type, L::Revision, L::SecurityCookie, L::Reserved,
                                    L::AD::Status, L::CC::LineNumber, L::CC::SecondNumber,
                                    L::CS::FirstLineNum, L::CS::SecondLineNum, L::CS::CallReason,
                                    L::CS::DTMFDigit, L::CS::Status, L::PR::Status}) {
    Read(view, field);
  }
  for (const CCMWordField& field : L::PC::SettingWords) Read(view, field);
  for (const CCMWordField& field : L::PR::ReplyWords) Read(view, field);
  for (const CCMDwordField& field : {L::CC::RequestId, L::CS::RequestId, L::PC::Operations, L::PR::Operations}) {
    Read(view, field);
  }
  for (const CCMTextField& field : {L::Extension, L::AD::Password, L::CC::Digits, L::CC::SecondText,
                                    L::CS::FirstAddr, L::CS::CallerName, L::CS::DialedNum, L::PC::Text1,
                                    L::PC::Text2, L::PR::ReplyText1, L::PR::ReplyText2, L::PR::OwnerName}) {
    Read(view, field);
  }
  // Every phone operation, the two set-wide values and one unknown value.
  for (DWORD op = 0; op <= L::PHONE_OP_CLEAR_ALL + 1; ++op) g_sink = CCMPR::bIsItSet(view, op);

  const WORD type = view.GetType();
  g_sink = static_cast<uint32_t>(view.GetLength() + L::LayoutSize(type));
  LONG value = -1;
  if (SUCCEEDED(CvnMsgTypeOf(type, &value))) g_sink = static_cast<uint32_t>(std::strlen(CvnMsgTypeName(value)));
  LONG category = -1;
  g_sink = static_cast<uint32_t>(CvnMsgCategoryOf(type, &category) + category);
  g_sink = static_cast<uint32_t>(std::strlen(CvnProtocolMsgName(type)));
  return 0;
}
