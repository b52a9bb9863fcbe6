// The test client's use of the protocol records: building request images and reading
// received frames. Kept apart from the socket code, whose POSIX names the records' platform
// header declares in its own way. Pure functions; safe from any thread.
#include "test_records.h"

#include "CCMAD.h"
#include "CCMCC.h"
#include "CCMLayout.h"
#include "CCMPC.h"
#include "CCMView.h"

#include <cstdio>

namespace ccmsim::testing {
namespace {

template <typename Record>
Bytes ImageOf(const Record& record) {
  return Bytes(record.GetBytes(), record.GetBytes() + record.GetLength());
}

}  // namespace

Bytes AdministrativeImage(MsgType type, const std::string& extension, const std::string& password) {
  CCMAD record;
  record.SetType(Code(type));
  record.SetExtension(extension.c_str());
  record.SetPassword(password.c_str());
  return ImageOf(record);
}

Bytes CallControlImage(MsgType type, const std::string& extension, uint16_t line, uint32_t request_id,
                       const std::string& digits) {
  CCMCC record;
  record.SetType(Code(type));
  record.SetExtension(extension.c_str());
  record.SetLineNumber(line);
  record.SetRequestId(request_id);
  record.SetDigits(digits.c_str());
  return ImageOf(record);
}

Bytes PhoneQueryImage(const std::string& extension, uint32_t operations) {
  CCMPC record;
  record.SetType(Code(MsgType::kPhoneQuery));
  record.SetExtension(extension.c_str());
  for (DWORD op = 0; op < 18; ++op) {
    if (operations & CCMLayout::PhoneOperationBit(op)) record.SetPhoneOperation(op);
  }
  return ImageOf(record);
}

size_t FrameLength(const uint8_t* head) { return CCMLayout::ReadWord(head + CCMLayout::Length.m_nOffset); }

Frame ParseFrame(const Bytes& bytes) {
  const CCMView view(bytes.data(), bytes.size());
  Frame f;
  f.type = view.GetType();
  f.length = view.GetLength();
  view.GetText(CCMLayout::Extension, f.extension);
  WORD word = 0;
  DWORD dword = 0;
  switch (f.type & CCMLayout::CATEGORY_MASK) {
    case CCMLayout::CATEGORY_AD:
      view.GetWord(CCMLayout::AD::Status, &f.status);
      break;
    case CCMLayout::CATEGORY_CS:
      view.GetDword(CCMLayout::CS::RequestId, &dword);
      f.request_id = dword;
      view.GetWord(CCMLayout::CS::FirstLineNum, &word);
      f.line = word;
      view.GetWord(CCMLayout::CS::SecondLineNum, &word);
      f.second_line = word;
      view.GetText(CCMLayout::CS::FirstAddr, f.address);
      view.GetText(CCMLayout::CS::CallerName, f.name);
      view.GetWord(CCMLayout::CS::DTMFDigit, &f.dtmf);
      view.GetWord(CCMLayout::CS::Status, &f.status);
      view.GetText(CCMLayout::CS::DialedNum, f.dialled);
      break;
    case CCMLayout::CATEGORY_PR:
      view.GetDword(CCMLayout::PR::Operations, &dword);
      f.operations = dword;
      view.GetText(CCMLayout::PR::OwnerName, f.name);
      view.GetWord(CCMLayout::PR::Status, &f.status);
      break;
    default:
      break;
  }
  return f;
}

std::string Text(const Frame& f) {
  char code[8];
  std::snprintf(code, sizeof code, "%04X", f.type);
  std::string text = f.extension + " " + code;
  if ((f.type & CCMLayout::CATEGORY_MASK) == CCMLayout::CATEGORY_CS) {
    text += "/" + std::to_string(f.line);
    if (!f.address.empty()) text += "/" + f.address;
    if (f.request_id != 0) text += "#" + std::to_string(f.request_id);
    if (f.dtmf != 0) text += "=" + std::string(1, static_cast<char>(f.dtmf));
  }
  if (f.status != 0) text += "!" + std::to_string(f.status);
  return text;
}

}  // namespace ccmsim::testing
