// The call model without the wire: requests in, events out through a recording sink.
// Events are compared as compact text: "CODE/LINE[/ADDRESS][#REQUEST_ID][!STATUS][=DTMF]".
#include "ccmsim/pbx.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>

namespace ccmsim {
namespace {

constexpr ConnectionId kConn1 = 1;
constexpr ConnectionId kConn2 = 2;

std::string Render(const Event& e) {
  char code[8];
  std::snprintf(code, sizeof code, "%04X", Code(e.type));
  std::string text = std::string(code) + "/" + std::to_string(e.line);
  if (!e.address.empty()) text += "/" + e.address;
  if (e.request_id != 0) text += "#" + std::to_string(e.request_id);
  if (e.status != ReplyStatus::kOk) text += "!" + std::to_string(static_cast<int>(e.status));
  if (e.dtmf != 0) text += "=" + std::string(1, static_cast<char>(e.dtmf));
  return text;
}

class RecordingSink : public PbxSink {
 public:
  void Deliver(ConnectionId to, const Event& event) override { delivered.push_back({to, event}); }
  void StartTimer(int delay_ms, const TimerTask& task) override { timers.push_back({delay_ms, task}); }

  std::deque<std::pair<ConnectionId, Event>> delivered;
  std::deque<std::pair<int, TimerTask>> timers;
};

class PbxTest : public ::testing::Test {
 protected:
  explicit PbxTest(Directory directory = Directory::Default()) : pbx_(std::move(directory), sink_) {}

  void Send(ConnectionId from, MsgType type, const std::string& ext, uint16_t line = 0,
            const std::string& digits = {}, uint32_t request_id = 0) {
    Request r;
    r.type = type;
    r.extension = ext;
    r.line = line;
    r.digits = digits;
    r.request_id = request_id;
    pbx_.HandleRequest(from, r);
  }
  // Registers ext on conn and forgets the reply.
  void Register(const std::string& ext, ConnectionId conn = kConn1) {
    Send(conn, MsgType::kRegistration, ext);
    ASSERT_EQ(Take(ext), "0102/0");
  }
  // The events for ext so far, as text, and forgets them.
  std::string Take(const std::string& ext) {
    std::string text;
    for (auto it = sink_.delivered.begin(); it != sink_.delivered.end();) {
      if (it->second.extension == ext) {
        text += (text.empty() ? "" : " ") + Render(it->second);
        it = sink_.delivered.erase(it);
      } else {
        ++it;
      }
    }
    return text;
  }
  // Runs the timers asked for so far, in order.
  void RunTimers() {
    while (!sink_.timers.empty()) {
      TimerTask task = sink_.timers.front().second;
      sink_.timers.pop_front();
      pbx_.HandleTimer(task);
    }
  }
  // 100 (connection 1) calls 101 (connection 2), which answers; both on line 65.
  void Connect100To101() {
    Register("100", kConn1);
    Register("101", kConn2);
    Send(kConn1, MsgType::kOffhook, "100", 0, {}, 1);
    Send(kConn1, MsgType::kDialDigits, "100", 65, "101");
    Send(kConn2, MsgType::kAnswer, "101", 65);
    ASSERT_EQ(Take("100"), "0301/65#1 0382/65/101 0383/65/101");
    ASSERT_EQ(Take("101"), "0381/65/100 0302/65 0383/65/100");
  }
  LineState State(const std::string& ext, uint16_t line) { return pbx_.GetLineState(ext, line); }

  RecordingSink sink_;
  Pbx pbx_;
};

TEST_F(PbxTest, RegistrationRefusalsCarryTheirStatus) {
  Register("100", kConn1);
  Send(kConn1, MsgType::kRegistration, "100");
  EXPECT_EQ(Take("100"), "0102/0") << "registering again on the same connection is accepted";
  Send(kConn2, MsgType::kRegistration, "100");
  EXPECT_EQ(Take("100"), "0102/0!3");
  EXPECT_EQ(sink_.delivered.size(), 0u);
  Send(kConn2, MsgType::kRegistration, "999");
  EXPECT_EQ(Take("999"), "0102/0!1");
  Send(kConn2, MsgType::kRegistration, "200");
  EXPECT_EQ(Take("200"), "0102/0!1") << "a virtual telephone cannot be registered";
  ASSERT_TRUE(pbx_.RefuseNextRegistration("101").ok());
  Send(kConn2, MsgType::kRegistration, "101");
  EXPECT_EQ(Take("101"), "0102/0!4");
  Send(kConn2, MsgType::kRegistration, "101");
  EXPECT_EQ(Take("101"), "0102/0") << "only the next registration is refused";
  EXPECT_EQ(pbx_.OwnerOf("100"), kConn1);
  EXPECT_EQ(pbx_.OwnerOf("101"), kConn2);
}

TEST_F(PbxTest, PasswordIsComparedAsSent) {
  Result<Directory> d = Directory::Parse("phone 100 password=Secret\n");
  ASSERT_TRUE(d.ok());
  RecordingSink sink;
  Pbx pbx(d.value(), sink);
  for (const char* password : {"secret", "Secret "}) {
    pbx.HandleRequest(kConn1, Request{MsgType::kRegistration, "100", password});
    ASSERT_EQ(sink.delivered.size(), 1u);
    EXPECT_EQ(sink.delivered.back().second.status, ReplyStatus::kWrongPassword) << password;
    sink.delivered.clear();
  }
  pbx.HandleRequest(kConn1, Request{MsgType::kRegistration, "100", "Secret"});
  EXPECT_EQ(sink.delivered.back().second.status, ReplyStatus::kOk);
}

TEST_F(PbxTest, OffHookTakesTheLowestFreeLineUntilNoneIsLeft) {
  Register("100");
  Send(kConn1, MsgType::kOffhook, "100", 0, {}, 77);
  EXPECT_EQ(Take("100"), "0301/65#77");
  Send(kConn1, MsgType::kOffhook, "100", 67);
  EXPECT_EQ(Take("100"), "0301/67");
  Send(kConn1, MsgType::kOffhook, "100", 67);
  EXPECT_EQ(Take("100"), "0301/67!6");
  Send(kConn1, MsgType::kOffhook, "100", 0, {}, 2);
  EXPECT_EQ(Take("100"), "0301/66#2");
  for (int i = 0; i < kLineCount - 3; ++i) Send(kConn1, MsgType::kOffhook, "100", 0, {}, 3);
  Take("100");
  Send(kConn1, MsgType::kOffhook, "100", 0, {}, 4);
  EXPECT_EQ(Take("100"), "0301/0#4!5");
}

TEST_F(PbxTest, CallBetweenTwoTelephonesEndsForBothSides) {
  Connect100To101();
  EXPECT_EQ(State("100", 65), LineState::kConnected);
  EXPECT_EQ(State("101", 65), LineState::kConnected);
  Send(kConn1, MsgType::kOnhook, "100", 65);
  EXPECT_EQ(Take("100"), "0303/65");
  EXPECT_EQ(Take("101"), "0386/65/100 0303/65");
  EXPECT_EQ(State("100", 65), LineState::kIdle);
  EXPECT_EQ(State("101", 65), LineState::kIdle);
  EXPECT_EQ(pbx_.CallCount(), 0u);
  Send(kConn1, MsgType::kOnhook, "100", 65);
  EXPECT_EQ(Take("100"), "0303/65!6");
}

TEST_F(PbxTest, CallerHangingUpStopsTheRinging) {
  Register("100", kConn1);
  Register("101", kConn2);
  ASSERT_TRUE(pbx_.Call("100", "101").ok());
  EXPECT_EQ(Take("101"), "0381/65/100");
  ASSERT_TRUE(pbx_.Hangup("100").ok());
  EXPECT_EQ(Take("100"), "0301/65 0382/65/101 0303/65");
  EXPECT_EQ(Take("101"), "0386/65/100 0303/65");
}

TEST_F(PbxTest, DiallingAnUnavailableNumberGivesBusy) {
  Register("100", kConn1);
  Register("101", kConn2);
  Send(kConn2, MsgType::kOffhook, "101", 0);  // 101 is not idle now
  Take("101");
  for (const char* number : {"999", "100", "102", "101", "705"}) {
    Send(kConn1, MsgType::kOffhook, "100", 65);
    Send(kConn1, MsgType::kDialDigits, "100", 65, number);
    EXPECT_EQ(Take("100"), "0301/65 0384/65/" + std::string(number)) << number;
    EXPECT_EQ(State("100", 65), LineState::kBusy);
    Send(kConn1, MsgType::kOnhook, "100", 65);
    EXPECT_EQ(Take("100"), "0303/65");
  }
  EXPECT_EQ(Take("101"), "");
}

TEST_F(PbxTest, VirtualTelephoneAnswersAfterItsRing) {
  Register("100");
  Send(kConn1, MsgType::kOffhook, "100", 0, {}, 5);
  Send(kConn1, MsgType::kDialDigits, "100", 65, "2,0,3");
  EXPECT_EQ(Take("100"), "0301/65#5 0382/65/203");
  ASSERT_EQ(sink_.timers.size(), 1u);
  EXPECT_EQ(sink_.timers.front().first, kDefaultRingMs);
  RunTimers();
  EXPECT_EQ(Take("100"), "0383/65/203");
  EXPECT_EQ(Take("203"), "0381/65/100 0302/65 0383/65/100");
  ASSERT_TRUE(pbx_.Digits("203", "5").ok());
  EXPECT_EQ(Take("100"), "0388/65=5");
  ASSERT_TRUE(pbx_.Hangup("203").ok());
  EXPECT_EQ(Take("100"), "0386/65/203 0303/65");
}

TEST_F(PbxTest, VirtualTelephoneHangsUpByItself) {
  Result<Directory> d = Directory::Parse("phone 100\nvirtual 300 answer=5 hangup=40\nvirtual 301 answer=never\n");
  ASSERT_TRUE(d.ok());
  RecordingSink sink;
  Pbx pbx(d.value(), sink);
  pbx.HandleRequest(kConn1, Request{MsgType::kRegistration, "100"});
  ASSERT_TRUE(pbx.Call("100", "301").ok());
  EXPECT_TRUE(sink.timers.empty()) << "answer=never rings until told";
  ASSERT_TRUE(pbx.Hangup("100").ok());
  ASSERT_TRUE(pbx.Call("100", "300").ok());
  ASSERT_EQ(sink.timers.size(), 1u);
  EXPECT_EQ(sink.timers.front().first, 5);
  pbx.HandleTimer(sink.timers.front().second);
  ASSERT_EQ(sink.timers.size(), 2u);
  EXPECT_EQ(sink.timers.back().first, 40);
  EXPECT_EQ(pbx.GetLineState("100", 65), LineState::kConnected);
  pbx.HandleTimer(sink.timers.back().second);
  EXPECT_EQ(pbx.GetLineState("100", 65), LineState::kIdle);
  EXPECT_EQ(Render(sink.delivered.back().second), "0303/65");
}

TEST_F(PbxTest, DigitsOnAConnectedCallGoToBothEnds) {
  Connect100To101();
  Send(kConn1, MsgType::kDialDigits, "100", 65, "1,#");
  EXPECT_EQ(Take("100"), "0387/65=1 0387/65=#");
  EXPECT_EQ(Take("101"), "0388/65=1 0388/65=#");
}

TEST_F(PbxTest, HoldAndUnholdReplyForTheirLine) {
  Connect100To101();
  Send(kConn1, MsgType::kHold, "100", 65);
  Send(kConn1, MsgType::kHold, "100", 65);
  Send(kConn1, MsgType::kUnhold, "100", 65);
  Send(kConn1, MsgType::kUnhold, "100", 65);
  EXPECT_EQ(Take("100"), "0309/65 0309/65!6 030A/65 030A/65!6");
}

TEST_F(PbxTest, TransferConnectsTheTwoFarParties) {
  Connect100To101();
  Register("102", kConn2);
  Send(kConn1, MsgType::kTransfer, "100", 0, {}, 9);
  EXPECT_EQ(Take("100"), "0304/66#9");
  EXPECT_EQ(State("100", 65), LineState::kHeld);
  Send(kConn1, MsgType::kDialDigits, "100", 66, "102");
  Send(kConn2, MsgType::kAnswer, "102", 65);
  EXPECT_EQ(Take("100"), "0382/66/102 0383/66/102");
  Take("102");
  Send(kConn1, MsgType::kTransferEnd, "100", 66);
  EXPECT_EQ(Take("100"), "0305/66");
  EXPECT_EQ(Take("101"), "0383/65/102");
  EXPECT_EQ(Take("102"), "0383/65/101");
  EXPECT_EQ(State("100", 65), LineState::kIdle);
  EXPECT_EQ(State("100", 66), LineState::kIdle);
  Send(kConn2, MsgType::kOnhook, "102", 65);
  EXPECT_EQ(Take("101"), "0386/65/102 0303/65");
}

TEST_F(PbxTest, TransferWhileTheConsultedTelephoneRingsHandsOverTheRinging) {
  Connect100To101();
  Send(kConn1, MsgType::kTransfer, "100", 0, {}, 4);
  Send(kConn1, MsgType::kDialDigits, "100", 66, "204");
  Send(kConn1, MsgType::kTransferEnd, "100", 66);
  EXPECT_EQ(Take("100"), "0304/66#4 0382/66/204 0305/66");
  EXPECT_EQ(Take("101"), "0382/65/204");
  EXPECT_EQ(Take("204"), "0381/65/100 0381/65/101") << "the ringing telephone sees its new caller";
  RunTimers();
  EXPECT_EQ(Take("101"), "0383/65/204");
  EXPECT_EQ(State("204", 65), LineState::kConnected);
}

TEST_F(PbxTest, TransferRefusals) {
  Register("100");
  Send(kConn1, MsgType::kTransfer, "100", 0, {}, 3);
  EXPECT_EQ(Take("100"), "0304/0#3!6") << "no active call";
  Send(kConn1, MsgType::kOffhook, "100", 65);
  Send(kConn1, MsgType::kTransferEnd, "100", 65);
  EXPECT_EQ(Take("100"), "0301/65 0305/65!6") << "not a consultation line";
}

TEST_F(PbxTest, ConferenceBridgesThreeParties) {
  Connect100To101();
  Register("102", kConn2);
  Send(kConn1, MsgType::kConference, "100", 0, {}, 5);
  EXPECT_EQ(Take("100"), "0307/66#5");
  Send(kConn1, MsgType::kDialDigits, "100", 66, "102");
  Send(kConn2, MsgType::kAnswer, "102", 65);
  Take("100");
  Take("102");
  Send(kConn1, MsgType::kAddToConf, "100", 66);
  EXPECT_EQ(Take("100"), "0308/66 0383/65");
  EXPECT_EQ(Take("101"), "0383/65");
  EXPECT_EQ(Take("102"), "0383/65");
  EXPECT_EQ(State("100", 65), LineState::kConnected);
  EXPECT_EQ(State("100", 66), LineState::kIdle);
  Send(kConn1, MsgType::kDialDigits, "100", 65, "7");
  EXPECT_EQ(Take("101"), "0388/65=7");
  EXPECT_EQ(Take("102"), "0388/65=7");
  Take("100");
  // The bridge goes on without one party, and ends with the last but one.
  Send(kConn2, MsgType::kOnhook, "101", 65);
  EXPECT_EQ(Take("100"), "");
  Send(kConn2, MsgType::kOnhook, "102", 65);
  EXPECT_EQ(Take("100"), "0386/65/102 0303/65");
}

TEST_F(PbxTest, ConferenceRefusals) {
  Register("100");
  Send(kConn1, MsgType::kConference, "100", 0, {}, 8);
  EXPECT_EQ(Take("100"), "0307/0#8!7") << "no active call";
  Connect100To101();  // 100 is registered already; the helper's registration is accepted again
  Send(kConn1, MsgType::kConference, "100", 0, {}, 9);
  Take("100");
  Send(kConn1, MsgType::kAddToConf, "100", 66);
  EXPECT_EQ(Take("100"), "0308/66!7") << "nobody to add yet";
}

TEST_F(PbxTest, ParkedCallIsRetrievedByDiallingTheOrbitOrByUnpark) {
  Connect100To101();
  Register("102", kConn2);
  Send(kConn1, MsgType::kPark, "100", 65, "701");
  EXPECT_EQ(Take("100"), "030B/65 0303/65");
  EXPECT_EQ(State("100", 65), LineState::kIdle);
  EXPECT_EQ(State("101", 65), LineState::kConnected) << "the far party waits in the orbit";
  ASSERT_TRUE(pbx_.Call("102", "701").ok());
  EXPECT_EQ(Take("102"), "0301/65 0383/65/101");
  EXPECT_EQ(Take("101"), "0383/65/102");

  Send(kConn2, MsgType::kPark, "102", 65, "702");
  Send(kConn2, MsgType::kPark, "102", 65, "702");
  EXPECT_EQ(Take("102"), "030B/65 0303/65 030B/65!6");
  Send(kConn1, MsgType::kOffhook, "100", 66);
  Send(kConn1, MsgType::kUnpark, "100", 66, "703");
  Send(kConn1, MsgType::kUnpark, "100", 66, "702");
  EXPECT_EQ(Take("100"), "0301/66 030C/66!10 030C/66 0383/66/101");
  EXPECT_EQ(Take("101"), "0383/65/100");
}

TEST_F(PbxTest, ParkRefusesANumberThatIsNoFreeOrbit) {
  Connect100To101();
  Send(kConn1, MsgType::kPark, "100", 65, "123");
  EXPECT_EQ(Take("100"), "030B/65!10");
  EXPECT_EQ(State("100", 65), LineState::kConnected);
}

TEST_F(PbxTest, GroupPickupTakesACallRingingInTheGroup) {
  Register("100", kConn1);
  Register("101", kConn2);
  Register("102", kConn2);
  ASSERT_TRUE(pbx_.Call("100", "101").ok());
  Take("100");
  Take("101");
  Send(kConn2, MsgType::kOffhook, "102", 0, {}, 6);
  Send(kConn2, MsgType::kGroupPickup, "102", 65, "");
  EXPECT_EQ(Take("101"), "0303/65") << "the ringing telephone's new call is cleared";
  EXPECT_EQ(Take("102"), "0301/65#6 0383/65/100");
  EXPECT_EQ(Take("100"), "0383/65/102");
  EXPECT_EQ(State("101", 65), LineState::kIdle);
  // Nothing left to pick up: busy.
  Send(kConn1, MsgType::kOffhook, "100", 66);
  Send(kConn1, MsgType::kGroupPickup, "100", 66, "1");
  EXPECT_EQ(Take("100"), "0301/66 0384/66/1");
}

TEST_F(PbxTest, DirectedPickupTakesTheNamedTelephonesCall) {
  Register("100", kConn1);
  Register("101", kConn2);
  ASSERT_TRUE(pbx_.Call("100", "205").ok());
  Send(kConn2, MsgType::kOffhook, "101", 0);
  Send(kConn2, MsgType::kDirectedPickup, "101", 65, "205");
  EXPECT_EQ(Take("101"), "0301/65 0383/65/100");
  EXPECT_EQ(Take("205"), "0381/65/100 0303/65");
  RunTimers();  // the virtual telephone's answer comes too late and changes nothing
  EXPECT_EQ(Take("100"), "0301/65 0382/65/205 0383/65/101");
  EXPECT_EQ(State("205", 65), LineState::kIdle);
}

TEST_F(PbxTest, LostConnectionReleasesItsExtensionsAndTheirCalls) {
  Connect100To101();
  pbx_.ReleaseConnection(kConn1);
  EXPECT_FALSE(pbx_.IsRegistered("100"));
  EXPECT_EQ(Take("100"), "");
  EXPECT_EQ(Take("101"), "0386/65/100 0303/65");
  Send(kConn2, MsgType::kRegistration, "100");
  EXPECT_EQ(Take("100"), "0102/0");
}

TEST_F(PbxTest, OnlyTheRegisteringConnectionSpeaksForAnExtension) {
  Register("100", kConn1);
  Send(kConn2, MsgType::kOffhook, "100", 0, {}, 12);
  ASSERT_EQ(sink_.delivered.size(), 1u);
  EXPECT_EQ(sink_.delivered.front().first, kConn2);
  EXPECT_EQ(Take("100"), "0301/0#12!8");
  Send(kConn2, MsgType::kDialDigits, "100", 65, "101");
  Send(kConn2, MsgType::kUnregister, "100");
  EXPECT_EQ(Take("100"), "0104/0!8");
  EXPECT_EQ(State("100", 65), LineState::kIdle);
  EXPECT_TRUE(pbx_.IsRegistered("100"));
  Send(kConn1, MsgType::kUnregister, "100");
  EXPECT_EQ(Take("100"), "0104/0");
  EXPECT_FALSE(pbx_.IsRegistered("100"));
}

TEST_F(PbxTest, PhoneQueryRepliesWithTheOperationsAndTheOwner) {
  Register("100");
  Request query{MsgType::kPhoneQuery, "100"};
  query.operations = 0x41;
  pbx_.HandleRequest(kConn1, query);
  ASSERT_EQ(sink_.delivered.size(), 1u);
  const Event& reply = sink_.delivered.front().second;
  EXPECT_EQ(reply.type, MsgType::kPhoneQueryReply);
  EXPECT_EQ(reply.operations, 0x41u);
  EXPECT_EQ(reply.status, ReplyStatus::kOk);
  EXPECT_EQ(reply.name, "Phone 100");
}

TEST_F(PbxTest, PersonAtATelephoneNeedsItRegisteredOrVirtual) {
  EXPECT_FALSE(pbx_.Lift("100").ok());
  EXPECT_FALSE(pbx_.Call("999", "100").ok());
  EXPECT_FALSE(pbx_.Answer("200").ok());
  EXPECT_FALSE(pbx_.Hangup("200").ok());
  EXPECT_FALSE(pbx_.Hook("200", 65).ok());
  ASSERT_TRUE(pbx_.Lift("200").ok());
  ASSERT_TRUE(pbx_.Press("200", "201").ok());
  EXPECT_EQ(State("201", 65), LineState::kRinging);
  ASSERT_TRUE(pbx_.Answer("201").ok());
  EXPECT_EQ(State("200", 65), LineState::kConnected);
  ASSERT_TRUE(pbx_.Hook("200", 65).ok());
  EXPECT_EQ(State("201", 65), LineState::kIdle);
}

}  // namespace
}  // namespace ccmsim
