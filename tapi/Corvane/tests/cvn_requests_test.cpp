// The endpoint against a raw loopback server that records every frame: the record and fields
// each request method sends, the argument checks that send nothing, the event signalling of
// queued messages, and the framing of what the server sends.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "cvn_test_support.h"

namespace {

using namespace cvntest;

class CvnRequestsTest : public testing::Test {
 protected:
  void SetUp() override {
    PointAtServer(server_.Port());
    endpoint_ = CreateEndPoint();
    ASSERT_TRUE(endpoint_);
    event_ = ConnectWithOwnEvent(endpoint_.Get());
    ASSERT_TRUE(server_.WaitConnections(1));
  }

  // Registers on a second endpoint (same connection) and waits until the server has it.
  ComPtr<ICvnEndPoint> RegisterOther(const std::string& extension, HANDLE* event) {
    ComPtr<ICvnEndPoint> other = CreateEndPoint();
    *event = ConnectWithOwnEvent(other.Get());
    Bstr ext = Bstr::Narrow(extension), password = Bstr::Narrow("pw");
    EXPECT_EQ(other->RegisterA(ext.Get(), password.Get()), S_OK);
    EXPECT_TRUE(server_.NextFrame().has_value());
    return other;
  }

  void Register(const std::string& extension) {
    Bstr ext = Bstr::Narrow(extension), password = Bstr::Narrow("secret");
    ASSERT_EQ(endpoint_->RegisterA(ext.Get(), password.Get()), S_OK);
    const auto frame = server_.NextFrame();
    ASSERT_TRUE(frame.has_value());
    CCMView view(frame->data(), frame->size());
    EXPECT_EQ(view.GetType(), 0x0101);
    EXPECT_EQ(view.GetLength(), CCMLayout::AD_SIZE);
    std::string text;
    view.GetText(CCMLayout::Extension, text);
    EXPECT_EQ(text, extension);
    view.GetText(CCMLayout::AD::Password, text);
    EXPECT_EQ(text, "secret");
  }

  ComponentMachine machine_;
  RawServer server_;
  ComPtr<ICvnEndPoint> endpoint_;
  HANDLE event_ = nullptr;
};

struct RequestCase {
  const char* name;
  std::function<HRESULT(ICvnEndPoint*)> call;
  WORD type;  // 0: refused, nothing sent
  WORD line = 0;
  DWORD request_id = 0;
  const char* digits = "";
};

HRESULT Digits(ICvnEndPoint* e, HRESULT (STDMETHODCALLTYPE ICvnEndPoint::*method)(LONG, BSTR),
               LONG line, const char* digits) {
  Bstr text = Bstr::Narrow(digits);
  return (e->*method)(line, text.Get());
}

TEST_F(CvnRequestsTest, EachRequestSendsItsRecordAndFields) {
  Register("100");
  const RequestCase cases[] = {
      {"Offhook(3, 77)", [](ICvnEndPoint* e) { return e->Offhook(3, 77); }, 0x0201, 3, 0},
      {"Offhook(0, 77)", [](ICvnEndPoint* e) { return e->Offhook(0, 77); }, 0x0201, 0, 77},
      {"Onhook", [](ICvnEndPoint* e) { return e->Onhook(2); }, 0x0203, 2},
      {"Answer", [](ICvnEndPoint* e) { return e->Answer(2); }, 0x0202, 2},
      {"TransferEnd", [](ICvnEndPoint* e) { return e->TransferEnd(4); }, 0x0207, 4},
      {"AddToConf", [](ICvnEndPoint* e) { return e->AddToConf(5); }, 0x020A, 5},
      {"Hold (low 16 bits)", [](ICvnEndPoint* e) { return e->Hold(0x10006); }, 0x020B, 6},
      {"Unhold", [](ICvnEndPoint* e) { return e->Unhold(7); }, 0x020C, 7},
      {"Transfer", [](ICvnEndPoint* e) { return e->Transfer(-2); }, 0x0206, 0, 0xFFFFFFFEu},
      {"Conference", [](ICvnEndPoint* e) { return e->Conference(99); }, 0x0209, 0, 99},
      {"DialDigitsA filters", [](ICvnEndPoint* e) {
         return Digits(e, &ICvnEndPoint::DialDigitsA, 1, "9,555-1212");
       }, 0x0205, 1, 0, "9,5551212"},
      {"DialDigitsA no digit", [](ICvnEndPoint* e) {
         return Digits(e, &ICvnEndPoint::DialDigitsA, 1, "abc");
       }, 0x0205, 1, 0, ""},
      {"DialDigits wide", [](ICvnEndPoint* e) {
         Bstr text = Bstr::Wide(u"12#34");
         return e->DialDigits(1, text.Get());
       }, 0x0205, 1, 0, "1234"},
      {"Park", [](ICvnEndPoint* e) { return Digits(e, &ICvnEndPoint::Park, 2, "*701"); },
       0x020D, 2, 0, "701"},
      {"UnPark", [](ICvnEndPoint* e) { return Digits(e, &ICvnEndPoint::UnPark, 2, "701"); },
       0x020E, 2, 0, "701"},
      {"Pickup directed", [](ICvnEndPoint* e) {
         Bstr text = Bstr::Narrow("123");
         return e->Pickup(2, text.Get(), 1);
       }, 0x0212, 2, 0, "123"},
      {"Pickup group", [](ICvnEndPoint* e) {
         Bstr text = Bstr::Narrow("123");
         return e->Pickup(2, text.Get(), 0);
       }, 0x0211, 2, 0, "123"},
      {"Onhook(0)", [](ICvnEndPoint* e) { return e->Onhook(0); }, 0},
      {"Answer(-1)", [](ICvnEndPoint* e) { return e->Answer(-1); }, 0},
      {"DialDigitsA line 0", [](ICvnEndPoint* e) {
         return Digits(e, &ICvnEndPoint::DialDigitsA, 0, "1");
       }, 0},
      {"DialDigitsA empty", [](ICvnEndPoint* e) {
         return Digits(e, &ICvnEndPoint::DialDigitsA, 1, "");
       }, 0},
      {"Park null", [](ICvnEndPoint* e) { return e->Park(1, nullptr); }, 0},
      {"Pickup line 0", [](ICvnEndPoint* e) {
         Bstr text = Bstr::Narrow("1");
         return e->Pickup(0, text.Get(), 1);
       }, 0},
      {"RegisterA 18 characters", [](ICvnEndPoint* e) {
         Bstr ext = Bstr::Narrow("123456789012345678"), password = Bstr::Narrow("pw");
         return e->RegisterA(ext.Get(), password.Get());
       }, 0},
  };
  for (const RequestCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.type == 0) {
      EXPECT_EQ(c.call(endpoint_.Get()), E_FAIL);
      // Nothing went out: the next frame is the marker sent now.
      EXPECT_EQ(endpoint_->Unregister(), S_OK);
      const auto marker = server_.NextFrame();
      ASSERT_TRUE(marker.has_value());
      EXPECT_EQ(CCMView(marker->data(), marker->size()).GetType(), 0x0103);
      continue;
    }
    EXPECT_EQ(c.call(endpoint_.Get()), S_OK);
    const auto frame = server_.NextFrame();
    ASSERT_TRUE(frame.has_value());
    CCMView view(frame->data(), frame->size());
    EXPECT_EQ(view.GetType(), c.type);
    EXPECT_EQ(view.GetLength(), CCMLayout::CC_SIZE);
    std::string text;
    view.GetText(CCMLayout::Extension, text);
    EXPECT_EQ(text, "100");
    WORD line = 0xFFFF;
    DWORD request_id = 0xFFFFFFFF;
    view.GetWord(CCMLayout::CC::LineNumber, &line);
    view.GetDword(CCMLayout::CC::RequestId, &request_id);
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(request_id, c.request_id);
    view.GetText(CCMLayout::CC::Digits, text);
    EXPECT_EQ(text, c.digits);
  }

  // The phone query goes out with the operation set as edited.
  EXPECT_EQ(endpoint_->ResetPhoneMessage(), S_OK);
  EXPECT_EQ(endpoint_->SetPhoneOperation(eCvnRingVol), S_OK);
  EXPECT_EQ(endpoint_->SetPhoneOperation(eCvnOwnerName), S_OK);
  EXPECT_EQ(endpoint_->ClearPhoneOperation(eCvnRingVol), S_OK);
  LONG is_set = 0;
  EXPECT_EQ(endpoint_->IsPhoneOperationSet(eCvnOwnerName, &is_set), S_OK);
  EXPECT_EQ(is_set, 0x40);
  EXPECT_EQ(endpoint_->SendPhoneMessage(), S_OK);
  const auto query = server_.NextFrame();
  ASSERT_TRUE(query.has_value());
  CCMView view(query->data(), query->size());
  EXPECT_EQ(view.GetType(), 0x0401);
  EXPECT_EQ(view.GetLength(), CCMLayout::PC_SIZE);
  DWORD operations = 0;
  view.GetDword(CCMLayout::PC::Operations, &operations);
  EXPECT_EQ(operations, 0x40u);

  // The wide registration converts and registers the new extension.
  Bstr ext = Bstr::Wide(u"101"), password = Bstr::Wide(u"pw");
  EXPECT_EQ(endpoint_->Register(ext.Get(), password.Get()), S_OK);
  const auto registration = server_.NextFrame();
  ASSERT_TRUE(registration.has_value());
  std::string text;
  CCMView(registration->data(), registration->size()).GetText(CCMLayout::Extension, text);
  EXPECT_EQ(text, "101");
  EXPECT_EQ(server_.PendingFrames(), 0u);
}

TEST_F(CvnRequestsTest, QueuedMessagesSignalAgainUntilTheLast) {
  Register("100");
  HANDLE other_event = nullptr;
  ComPtr<ICvnEndPoint> other = RegisterOther("101", &other_event);
  // Three messages for 100, then one for 101: once 101 has its message, 100 has all three.
  const WORD types[] = {0x0381, 0x0382, 0x0383};
  std::vector<BYTE> stream;
  for (const WORD type : types) {
    const auto frame = MakeFrame(type, "100", CCMLayout::CS_SIZE);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  const auto last = MakeFrame(0x0384, "101", CCMLayout::CS_SIZE);
  stream.insert(stream.end(), last.begin(), last.end());
  ASSERT_TRUE(server_.Send(stream));
  ASSERT_EQ(MsgType(WaitMessage(other.Get(), other_event).Get()), eBusy);

  ASSERT_EQ(WaitForSingleObject(event_, 0), WAIT_OBJECT_0);
  const LONG expected[] = {eNewCall, eRingBack, eConnected};
  for (int i = 0; i < 3; ++i) {
    ComPtr<IMsgInterpreter> message;
    ASSERT_EQ(endpoint_->RetrieveMsg(message.Out()), S_OK) << i;
    EXPECT_EQ(MsgType(message.Get()), expected[i]) << i;
    EXPECT_EQ(WaitForSingleObject(event_, 0), i < 2 ? WAIT_OBJECT_0 : WAIT_TIMEOUT) << i;
  }
  IMsgInterpreter* none = reinterpret_cast<IMsgInterpreter*>(1);
  EXPECT_EQ(endpoint_->RetrieveMsg(&none), E_FAIL);
  EXPECT_EQ(none, nullptr);
}

// What the server sends and what the endpoint of 100 makes of it.
struct FramingCase {
  const char* name;
  std::vector<BYTE> bytes;
  size_t chunk;                // 0: one segment
  std::vector<LONG> expected;  // message types received, in order
  bool closes;                 // the connection is closed by the component
};

std::vector<BYTE> Concat(std::initializer_list<std::vector<BYTE>> parts) {
  std::vector<BYTE> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(CvnRequestsTest, FramingOfReceivedMessages) {
  Register("100");
  const auto connected = MakeFrame(0x0383, "100", CCMLayout::CS_SIZE);
  const auto busy = MakeFrame(0x0384, "100", CCMLayout::CS_SIZE);
  const auto reply = MakeFrame(0x0102, "100", CCMLayout::AD_SIZE);
  const auto for_nobody = MakeFrame(0x0383, "999", CCMLayout::CS_SIZE);
  auto too_short = MakeFrame(0x0383, "100", 60);     // below the call-status layout
  auto below_header = MakeFrame(0x0383, "100", 32);  // Length then patched to 16
  CCMLayout::WriteWord(below_header.data() + 2, 16);
  auto too_long = MakeFrame(0x0383, "100", 32);
  CCMLayout::WriteWord(too_long.data() + 2, 2049);
  // Frames longer than their layout are read whole.
  const auto padded = MakeFrame(0x0102, "100", 300);

  const FramingCase cases[] = {
      {"split into single bytes", connected, 1, {eConnected}, false},
      {"coalesced in one segment", Concat({connected, busy, reply}), 0,
       {eConnected, eBusy, eRegisterReply}, false},
      {"unrouted extension dropped", Concat({for_nobody, busy}), 0, {eBusy}, false},
      {"shorter than its layout dropped", Concat({too_short, busy}), 0, {eBusy}, false},
      {"longer than its layout", Concat({padded, busy}), 7, {eRegisterReply, eBusy}, false},
      {"length below 32", below_header, 0, {}, true},
      {"length above 2048", too_long, 0, {}, true},
  };
  int connections = 1;
  for (const FramingCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(server_.Send(c.bytes, c.chunk));
    for (const LONG type : c.expected) {
      EXPECT_EQ(MsgType(WaitMessage(endpoint_.Get(), event_).Get()), type);
    }
    if (c.closes) {
      EXPECT_TRUE(server_.WaitClientClosed());
      // Connecting again gives a fresh, working connection.
      LONG event = -1;
      EXPECT_EQ(endpoint_->ConnectToServer(&event), S_OK);
      ASSERT_TRUE(server_.WaitConnections(++connections));
      EXPECT_EQ(endpoint_->Offhook(0, 1), S_OK);
      EXPECT_TRUE(server_.NextFrame().has_value());
    }
  }
  // Nothing else arrived.
  EXPECT_EQ(WaitForSingleObject(event_, 0), WAIT_TIMEOUT);
}

}  // namespace
