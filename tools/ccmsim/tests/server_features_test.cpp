// The simulator over loopback: transfer, conference, park and retrieval, pickup and the phone
// query, each driven with raw protocol records as the clients send them.
#include <gtest/gtest.h>

#include "test_client.h"

namespace ccmsim::testing {
namespace {

Directory FeatureDirectory() {
  Result<Directory> d = Directory::Parse(
      "phone 100-103 group=1\n"
      "virtual 300 answer=never group=1\n"
      "orbit 700\n");
  EXPECT_TRUE(d.ok());
  return d.value();
}

class FeatureTest : public SimTest {
 protected:
  FeatureTest() : SimTest(FeatureDirectory()) {}

  void SetUp() override {
    SimTest::SetUp();
    for (const char* ext : {"100", "101", "102", "103"}) phones_[ext] = Registered(ext);
  }
  TestClient& Phone(const std::string& ext) { return *phones_.at(ext); }

  // `from` goes off hook on line 65 and calls `to`, which answers on its line 65.
  void Connect(const std::string& from, const std::string& to) {
    Phone(from).Request(MsgType::kOffhook, from, 65);
    ASSERT_EQ(Phone(from).Next(), from + " 0301/65");
    Dial(from, to, 65);
  }
  // `from` dials `to` on a line that has dial tone, and `to` answers on its line 65.
  void Dial(const std::string& from, const std::string& to, uint16_t line) {
    Phone(from).Request(MsgType::kDialDigits, from, line, 0, to);
    Phone(to).Request(MsgType::kAnswer, to, 65);
    const std::string l = std::to_string(line);
    ASSERT_EQ(Phone(from).Next(2), from + " 0382/" + l + "/" + to + " " + from + " 0383/" + l + "/" + to);
    ASSERT_EQ(Phone(to).Next(3), to + " 0381/65/" + from + " " + to + " 0302/65 " + to + " 0383/65/" + from);
  }

  std::map<std::string, std::unique_ptr<TestClient>> phones_;
};

TEST_F(FeatureTest, TransferJoinsTheTwoFarParties) {
  Connect("100", "101");
  Phone("100").Request(MsgType::kTransfer, "100", 0, 41);
  std::optional<Frame> reply = Phone("100").Read();
  ASSERT_TRUE(reply);
  EXPECT_EQ(Text(*reply), "100 0304/66#41");
  EXPECT_EQ(reply->second_line, 65) << "the held call's line";
  Dial("100", "102", 66);
  Phone("100").Request(MsgType::kTransferEnd, "100", 66);
  EXPECT_EQ(Phone("100").Next(), "100 0305/66");
  EXPECT_EQ(Phone("101").Next(), "101 0383/65/102");
  EXPECT_EQ(Phone("102").Next(), "102 0383/65/101");
  EXPECT_EQ(server_->GetLineState("100", 65), LineState::kIdle);
  EXPECT_EQ(server_->GetLineState("100", 66), LineState::kIdle);
  Phone("101").Request(MsgType::kOnhook, "101", 65);
  EXPECT_EQ(Phone("102").Next(2), "102 0386/65/101 102 0303/65");
}

TEST_F(FeatureTest, ConferenceBridgesThreeAndIsRefusedWithoutACall) {
  Phone("103").Request(MsgType::kConference, "103", 0, 5);
  EXPECT_EQ(Phone("103").Next(), "103 0307/0#5!7");
  Connect("100", "101");
  Phone("100").Request(MsgType::kConference, "100", 0, 6);
  EXPECT_EQ(Phone("100").Next(), "100 0307/66#6");
  Dial("100", "102", 66);
  Phone("100").Request(MsgType::kAddToConf, "100", 66);
  EXPECT_EQ(Phone("100").Next(2), "100 0308/66 100 0383/65");
  EXPECT_EQ(Phone("101").Next(), "101 0383/65");
  std::optional<Frame> connected = Phone("102").Read();
  ASSERT_TRUE(connected);
  EXPECT_EQ(Text(*connected), "102 0383/65");
  EXPECT_EQ(connected->name, "Conference");
  Phone("102").Request(MsgType::kDialDigits, "102", 65, 0, "5");
  EXPECT_EQ(Phone("102").Next(), "102 0387/65=5");
  EXPECT_EQ(Phone("100").Next(), "100 0388/65=5");
  EXPECT_EQ(Phone("101").Next(), "101 0388/65=5");
}

TEST_F(FeatureTest, ParkAndRetrieveByDiallingTheOrbitOrByUnpark) {
  Connect("100", "101");
  Phone("100").Request(MsgType::kPark, "100", 65, 0, "700");
  EXPECT_EQ(Phone("100").Next(2), "100 030B/65 100 0303/65");
  Phone("102").Request(MsgType::kOffhook, "102", 0, 9);
  Phone("102").Request(MsgType::kDialDigits, "102", 65, 0, "700");
  EXPECT_EQ(Phone("102").Next(2), "102 0301/65#9 102 0383/65/101");
  EXPECT_EQ(Phone("101").Next(), "101 0383/65/102");

  Phone("102").Request(MsgType::kPark, "102", 65, 0, "700");
  EXPECT_EQ(Phone("102").Next(2), "102 030B/65 102 0303/65");
  Phone("103").Request(MsgType::kOffhook, "103", 0, 10);
  Phone("103").Request(MsgType::kUnpark, "103", 65, 0, "700");
  EXPECT_EQ(Phone("103").Next(3), "103 0301/65#10 103 030C/65 103 0383/65/101");
  EXPECT_EQ(Phone("101").Next(), "101 0383/65/103");
}

TEST_F(FeatureTest, GroupAndDirectedPickupMoveTheRingingCall) {
  struct Case {
    MsgType type;
    const char* target;
  };
  for (const Case& c : {Case{MsgType::kGroupPickup, "1"}, Case{MsgType::kDirectedPickup, "101"}}) {
    Phone("100").Request(MsgType::kOffhook, "100", 0, 1);
    Phone("100").Request(MsgType::kDialDigits, "100", 65, 0, "101");
    EXPECT_EQ(Phone("100").Next(2), "100 0301/65#1 100 0382/65/101");
    EXPECT_EQ(Phone("101").Next(), "101 0381/65/100");
    Phone("102").Request(MsgType::kOffhook, "102", 0, 2);
    Phone("102").Request(c.type, "102", 65, 0, c.target);
    EXPECT_EQ(Phone("102").Next(2), "102 0301/65#2 102 0383/65/100") << c.target;
    EXPECT_EQ(Phone("101").Next(), "101 0303/65") << "the new call is cleared at the ringing telephone";
    EXPECT_EQ(Phone("100").Next(), "100 0383/65/102");
    Phone("100").Request(MsgType::kOnhook, "100", 65);
    EXPECT_EQ(Phone("100").Next(), "100 0303/65");
    EXPECT_EQ(Phone("102").Next(2), "102 0386/65/100 102 0303/65");
  }
  // A virtual telephone of the group rings until picked up.
  ASSERT_TRUE(server_->Call("103", "300").ok());
  EXPECT_EQ(Phone("103").Next(2), "103 0301/65 103 0382/65/300");
  Phone("100").Request(MsgType::kOffhook, "100", 0, 3);
  Phone("100").Request(MsgType::kGroupPickup, "100", 65, 0, "");
  EXPECT_EQ(Phone("100").Next(2), "100 0301/65#3 100 0383/65/103");
  EXPECT_EQ(Phone("103").Next(), "103 0383/65/100");
}

TEST_F(FeatureTest, PhoneQueryRepliesWithTheOperationSetAndTheOwner) {
  Phone("101").Query("101", 0x000000FF);
  std::optional<Frame> reply = Phone("101").Read();
  ASSERT_TRUE(reply);
  EXPECT_EQ(Text(*reply), "101 0501");
  EXPECT_EQ(reply->length, 176u);
  EXPECT_EQ(reply->operations, 0x000000FFu);
  EXPECT_EQ(reply->name, "Phone 101");
  Phone("101").Query("101", 0x00010040);
  reply = Phone("101").Read();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->operations, 0x00010040u);
}

}  // namespace
}  // namespace ccmsim::testing
