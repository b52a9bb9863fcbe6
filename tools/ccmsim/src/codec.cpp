// The codec over the protocol records.
#include "codec.h"

#include <cstdio>

#include "CCMAD.h"
#include "CCMCS.h"
#include "CCMLayout.h"
#include "CCMPR.h"
#include "CCMView.h"
#include "MsgCatalogue.h"

namespace ccmsim {
namespace {

constexpr uint32_t kPhoneOperationCount = 18;  // operations 0-17 each stand for one bit

template <typename Record>
Bytes ImageOf(const Record& record) {
  return Bytes(record.GetBytes(), record.GetBytes() + record.GetLength());
}

}  // namespace

FrameHeader ReadFrameHeader(const uint8_t* data) {
  const CCMView head(data, kFrameHeadBytes);
  WORD magic = 0;
  WORD length = 0;
  head.GetWord(CCMLayout::Magic, &magic);
  head.GetWord(CCMLayout::Length, &length);
  FrameHeader header;
  header.length = length;
  header.valid = magic == CCMLayout::MAGIC && length >= CCMLayout::HEADER_SIZE && length <= CCMLayout::MAX_MSG_SIZE;
  return header;
}

std::optional<Request> DecodeRequest(const uint8_t* data, size_t size) {
  const CCMView view(data, size);
  const WORD type = view.GetType();
  const size_t layout = CCMLayout::LayoutSize(type);
  if (layout == 0 || view.GetReceivedLength() < layout) return std::nullopt;
  Request request;
  request.type = static_cast<MsgType>(type);
  view.GetText(CCMLayout::Extension, request.extension);
  switch (type & CCMLayout::CATEGORY_MASK) {
    case CCMLayout::CATEGORY_AD:
      view.GetText(CCMLayout::AD::Password, request.password);
      break;
    case CCMLayout::CATEGORY_CC: {
      WORD line = 0;
      DWORD request_id = 0;
      view.GetDword(CCMLayout::CC::RequestId, &request_id);
      view.GetWord(CCMLayout::CC::LineNumber, &line);
      view.GetText(CCMLayout::CC::Digits, request.digits);
      request.request_id = request_id;
      request.line = line;
      break;
    }
    case CCMLayout::CATEGORY_PC: {
      DWORD operations = 0;
      view.GetDword(CCMLayout::PC::Operations, &operations);
      request.operations = operations;
      break;
    }
    default:
      return std::nullopt;  // replies and events are not for the server
  }
  return request;
}

Bytes EncodeEvent(const Event& event) {
  const WORD type = Code(event.type);
  const WORD status = static_cast<WORD>(event.status);
  switch (Category(event.type)) {
    case CCMLayout::CATEGORY_AD: {
      CCMAD record;
      record.SetType(type);
      record.SetExtension(event.extension.c_str());
      record.SetStatus(status);
      return ImageOf(record);
    }
    case CCMLayout::CATEGORY_PR: {
      CCMPR record;
      record.SetType(type);
      record.SetExtension(event.extension.c_str());
      for (uint32_t op = 0; op < kPhoneOperationCount; ++op) {
        if (event.operations & CCMLayout::PhoneOperationBit(op)) record.SetQueryOperation(op);
      }
      record.SetOwnerName(event.name.c_str());
      record.SetStatus(status);
      return ImageOf(record);
    }
    default: {
      CCMCS record;
      record.SetType(type);
      record.SetExtension(event.extension.c_str());
      record.SetRequestId(event.request_id);
      record.SetFirstLineNum(event.line);
      record.SetSecondLineNum(event.second_line);
      record.SetFirstAddr(event.address.c_str());
      record.SetCallerName(event.name.c_str());
      record.SetDTMFDigit(event.dtmf);
      record.SetStatus(status);
      record.SetDialedNum(event.dialled.c_str());
      return ImageOf(record);
    }
  }
}

Bytes MakeGarbage(GarbageKind kind, const std::string& extension) {
  CCMCS record;
  record.SetType(Code(MsgType::kOnhookReply));
  record.SetExtension(extension.c_str());
  Bytes bytes;
  switch (kind) {
    case GarbageKind::kBadMagic:
      bytes = ImageOf(record);
      CCMLayout::WriteWord(bytes.data() + CCMLayout::Magic.m_nOffset, 0xDEAD);
      break;
    case GarbageKind::kShortLength:
      record.SetLength(16);
      bytes = ImageOf(record);
      break;
    case GarbageKind::kLongLength:
      bytes = ImageOf(record);
      CCMLayout::WriteWord(bytes.data() + CCMLayout::Length.m_nOffset, 0xFFFF);
      break;
    case GarbageKind::kUnknownType:
      record.SetType(0x03FF);
      bytes = ImageOf(record);
      break;
    case GarbageKind::kTruncated:
      bytes = ImageOf(record);
      bytes.resize(CCMLayout::HEADER_SIZE / 2);
      break;
  }
  return bytes;
}

std::string MessageName(uint16_t code) {
  const std::string name = CvnProtocolMsgName(code);
  if (name != "UNKNOWN_MSG") return name;
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", code);
  return text;
}

}  // namespace ccmsim
