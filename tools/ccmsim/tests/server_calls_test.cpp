// The simulator over loopback, driven with raw protocol records: registration, the off-hook
// reply, calls between registered telephones, busy, virtual telephones, tones and hold.
#include <gtest/gtest.h>

#include "CCMLayout.h"
#include "test_client.h"

namespace ccmsim::testing {
namespace {

Directory WithPasswords() {
  Result<Directory> d = Directory::Parse("phone 100 password=1234\nphone 101-102\nvirtual 200 answer=20\n");
  EXPECT_TRUE(d.ok());
  return d.value();
}

class RegistrationTest : public SimTest {
 protected:
  RegistrationTest() : SimTest(WithPasswords()) {}
};

TEST_F(RegistrationTest, AcceptsAndRefusesWithAStatus) {
  std::unique_ptr<TestClient> first = Connect();
  std::unique_ptr<TestClient> second = Connect();
  struct Case {
    TestClient* client;
    const char* extension;
    const char* password;
    const char* reply;
  };
  const Case cases[] = {
      {first.get(), "100", "0000", "100 0102!2"},    // wrong password
      {first.get(), "100", "1234", "100 0102"},      // accepted
      {first.get(), "101", "anything", "101 0102"},  // no password: any is accepted
      {second.get(), "100", "1234", "100 0102!3"},   // registered by another connection
      {second.get(), "999", "", "999 0102!1"},       // not in the directory
      {second.get(), "200", "", "200 0102!1"},       // virtual telephones cannot register
  };
  for (const Case& c : cases) {
    c.client->Register(c.extension, c.password);
    EXPECT_EQ(c.client->Next(), c.reply) << c.extension << " " << c.password;
  }
  EXPECT_TRUE(server_->IsRegistered("100"));
  EXPECT_TRUE(server_->IsRegistered("101"));
  ASSERT_TRUE(server_->Refuse("102").ok());
  second->Register("102");
  EXPECT_EQ(second->Next(), "102 0102!4");
  second->Register("102");
  EXPECT_EQ(second->Next(), "102 0102");
}

TEST_F(RegistrationTest, UnregisterAndLostConnectionReleaseTheExtension) {
  std::unique_ptr<TestClient> client = Connect();
  client->Register("100", "1234");
  client->Register("101");
  EXPECT_EQ(client->Next(2), "100 0102 101 0102");
  client->Unregister("101");
  EXPECT_EQ(client->Next(), "101 0104");
  EXPECT_FALSE(server_->IsRegistered("101"));
  client.reset();
  ASSERT_TRUE(server_->WaitUntil([&] { return !server_->IsRegistered("100"); }, kWait));
  std::unique_ptr<TestClient> other = Connect();
  other->Register("100", "1234");
  EXPECT_EQ(other->Next(), "100 0102");
}

class CallTest : public SimTest {};

TEST_F(CallTest, OffHookReplyNamesLine65WithTheRequestId) {
  std::unique_ptr<TestClient> phone = Registered("100");
  phone->Request(MsgType::kOffhook, "100", 0, 0x01020304);
  std::optional<Bytes> raw = phone->ReadRaw(CCMLayout::CS_SIZE);
  ASSERT_TRUE(raw);
  const Bytes& b = *raw;
  EXPECT_EQ((Bytes{b[0], b[1], b[2], b[3], b[4], b[5]}), (Bytes{0xB0, 0xB0, 0x00, 0x94, 0x03, 0x01}));
  EXPECT_EQ(std::string(b.begin() + 14, b.begin() + 17), "100");
  EXPECT_EQ((Bytes{b[32], b[33], b[34], b[35], b[36], b[37]}), (Bytes{0x01, 0x02, 0x03, 0x04, 0x00, 65}));
  EXPECT_EQ((Bytes{b[112], b[113]}), (Bytes{0, 0})) << "Status 0";
  phone->Request(MsgType::kOffhook, "100", 0, 2);
  EXPECT_EQ(phone->Next(), "100 0301/66#2");
}

TEST_F(CallTest, CompleteCallBetweenTwoRegisteredTelephones) {
  std::unique_ptr<TestClient> a = Registered("100");
  std::unique_ptr<TestClient> b = Registered("101");
  a->Request(MsgType::kOffhook, "100", 0, 7);
  EXPECT_EQ(a->Next(), "100 0301/65#7");
  a->Request(MsgType::kDialDigits, "100", 65, 0, "101");
  std::optional<Frame> ringback = a->Read();
  ASSERT_TRUE(ringback);
  EXPECT_EQ(Text(*ringback), "100 0382/65/101");
  EXPECT_EQ(ringback->name, "Phone 101");
  EXPECT_EQ(ringback->dialled, "101");
  std::optional<Frame> offer = b->Read();
  ASSERT_TRUE(offer);
  EXPECT_EQ(Text(*offer), "101 0381/65/100");
  EXPECT_EQ(offer->name, "Phone 100");
  EXPECT_EQ(offer->dialled, "101");

  b->Request(MsgType::kAnswer, "101", 65);
  EXPECT_EQ(b->Next(2), "101 0302/65 101 0383/65/100");
  EXPECT_EQ(a->Next(), "100 0383/65/101");

  b->Request(MsgType::kOnhook, "101", 65);
  EXPECT_EQ(b->Next(), "101 0303/65");
  EXPECT_EQ(a->Next(2), "100 0386/65/101 100 0303/65");
  EXPECT_EQ(server_->GetLineState("100", 65), LineState::kIdle);
}

TEST_F(CallTest, BusyForABusyOrUnknownNumber) {
  std::unique_ptr<TestClient> a = Registered("100");
  std::unique_ptr<TestClient> b = Registered("101");
  b->Request(MsgType::kOffhook, "101", 0, 1);
  EXPECT_EQ(b->Next(), "101 0301/65#1");
  for (const char* number : {"101", "555", "103"}) {
    a->Request(MsgType::kOffhook, "100", 0, 1);
    a->Request(MsgType::kDialDigits, "100", 65, 0, number);
    a->Request(MsgType::kOnhook, "100", 65);
    EXPECT_EQ(a->Next(3), "100 0301/65#1 100 0384/65/" + std::string(number) + " 100 0303/65") << number;
  }
  EXPECT_TRUE(b->NothingPending());
}

TEST_F(CallTest, VirtualTelephoneAnswersAndTalksBack) {
  std::unique_ptr<TestClient> a = Registered("100");
  a->Request(MsgType::kOffhook, "100", 0, 3);
  a->Request(MsgType::kDialDigits, "100", 65, 0, "200");
  EXPECT_EQ(a->Next(3), "100 0301/65#3 100 0382/65/200 100 0383/65/200");
  a->Request(MsgType::kDialDigits, "100", 65, 0, "9");
  EXPECT_EQ(a->Next(), "100 0387/65=9");
  ASSERT_TRUE(server_->WaitUntil([&] { return server_->SentCount("200", MsgType::kDigitRemote) == 1; }, kWait));
  ASSERT_TRUE(server_->Digits("200", "4#").ok());
  EXPECT_EQ(a->Next(2), "100 0388/65=4 100 0388/65=#");
  ASSERT_TRUE(server_->Hangup("200").ok());
  EXPECT_EQ(a->Next(2), "100 0386/65/200 100 0303/65");
}

TEST_F(CallTest, VirtualTelephoneCallsARegisteredOne) {
  std::unique_ptr<TestClient> b = Registered("101");
  ASSERT_TRUE(server_->Call("201", "101").ok());
  EXPECT_EQ(b->Next(), "101 0381/65/201");
  b->Request(MsgType::kAnswer, "101", 65);
  EXPECT_EQ(b->Next(2), "101 0302/65 101 0383/65/201");
  b->Request(MsgType::kHold, "101", 65);
  b->Request(MsgType::kUnhold, "101", 65);
  b->Request(MsgType::kUnhold, "101", 65);
  EXPECT_EQ(b->Next(3), "101 0309/65 101 030A/65 101 030A/65!6");
  EXPECT_EQ(server_->SentCount("201", MsgType::kConnected), 1);
}

TEST_F(CallTest, ActionsAtARegisteredTelephone) {
  std::unique_ptr<TestClient> a = Registered("100");
  std::unique_ptr<TestClient> b = Registered("101");
  ASSERT_TRUE(server_->Lift("100").ok());
  EXPECT_EQ(a->Next(), "100 0301/65") << "a call begun at the telephone: request id 0";
  ASSERT_TRUE(server_->Press("100", "101").ok());
  EXPECT_EQ(a->Next(), "100 0382/65/101");
  ASSERT_TRUE(server_->Answer("101").ok());
  EXPECT_EQ(b->Next(3), "101 0381/65/100 101 0302/65 101 0383/65/100");
  ASSERT_TRUE(server_->Hook("100", 65).ok());
  EXPECT_EQ(a->Next(2), "100 0383/65/101 100 0303/65");
  EXPECT_EQ(b->Next(2), "101 0386/65/100 101 0303/65");
  EXPECT_FALSE(server_->Hook("100", 65).ok());
  EXPECT_FALSE(server_->Lift("102").ok()) << "not registered";
}

TEST_F(CallTest, EachExtensionsMessagesGoToTheConnectionThatRegisteredIt) {
  std::unique_ptr<TestClient> shared = Connect();
  shared->Register("100");
  shared->Register("101");
  EXPECT_EQ(shared->Next(2), "100 0102 101 0102");
  std::unique_ptr<TestClient> other = Registered("102");
  other->Request(MsgType::kOffhook, "102", 0, 1);
  other->Request(MsgType::kDialDigits, "102", 65, 0, "101");
  EXPECT_EQ(other->Next(2), "102 0301/65#1 102 0382/65/101");
  EXPECT_EQ(shared->Next(), "101 0381/65/102");
  // A connection cannot speak for an extension registered by another.
  other->Request(MsgType::kAnswer, "101", 65);
  EXPECT_EQ(other->Next(), "101 0302/65!8");
  shared->Request(MsgType::kAnswer, "101", 65);
  EXPECT_EQ(shared->Next(2), "101 0302/65 101 0383/65/102");
}

}  // namespace
}  // namespace ccmsim::testing
