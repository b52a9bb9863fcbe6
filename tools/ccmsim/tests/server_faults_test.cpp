// The simulator over loopback: frames that break the rules close only the connection that sent
// them, and the operator's fault injection (refuse is in server_calls_test) and shutdown.
#include <gtest/gtest.h>

#include <random>

#include "CCMCC.h"
#include "CCMLayout.h"
#include "test_client.h"

namespace ccmsim::testing {
namespace {

Bytes OffHookImage(const std::string& extension) {
  CCMCC record;
  record.SetType(Code(MsgType::kOffhook));
  record.SetExtension(extension.c_str());
  record.SetRequestId(1);
  return Bytes(record.GetBytes(), record.GetBytes() + record.GetLength());
}

Bytes WithWord(Bytes bytes, size_t offset, uint16_t value) {
  CCMLayout::WriteWord(bytes.data() + offset, value);
  return bytes;
}

Bytes Prefix(Bytes bytes, size_t n) {
  bytes.resize(n);
  return bytes;
}

class FaultTest : public SimTest {
 protected:
  // The bystander still gets its replies.
  void ExpectServed(TestClient& client, const std::string& extension) {
    client.Request(MsgType::kOffhook, extension, 0, 5);
    EXPECT_EQ(client.Next(), extension + " 0301/65#5");
    client.Request(MsgType::kOnhook, extension, 65);
    EXPECT_EQ(client.Next(), extension + " 0303/65");
  }
};

TEST_F(FaultTest, BadFrameClosesOnlyTheConnectionThatSentIt) {
  const size_t kLength = CCMLayout::Length.m_nOffset;
  struct Case {
    const char* name;
    Bytes bytes;
    bool end_stream;  // the client then ends its stream (a frame cut short)
  };
  const Case cases[] = {
      {"wrong magic", WithWord(OffHookImage("100"), CCMLayout::Magic.m_nOffset, 0xB0B1), false},
      {"length 0", WithWord(OffHookImage("100"), kLength, 0), false},
      {"length 31", WithWord(OffHookImage("100"), kLength, 31), false},
      {"length 2049", WithWord(OffHookImage("100"), kLength, 2049), false},
      {"length 65535", WithWord(OffHookImage("100"), kLength, 0xFFFF), false},
      {"truncated header", Prefix(OffHookImage("100"), 3), true},
      {"truncated body", Prefix(OffHookImage("100"), 60), true},
  };
  std::unique_ptr<TestClient> bystander = Registered("101");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int bad_before = server_->BadFrameCount();
    std::unique_ptr<TestClient> victim = Registered("100");
    victim->SendBytes(c.bytes);
    if (c.end_stream) victim->CloseWrite();
    EXPECT_TRUE(victim->WaitClosed());
    EXPECT_TRUE(server_->WaitUntil([&] { return !server_->IsRegistered("100"); }, kWait));
    EXPECT_EQ(server_->BadFrameCount(), bad_before + 1);
    EXPECT_TRUE(server_->IsRegistered("101"));
    ExpectServed(*bystander, "101");
  }
}

TEST_F(FaultTest, CompleteFrameShorterThanItsLayoutIsIgnored) {
  std::unique_ptr<TestClient> client = Registered("100");
  CCMCC shortened;
  shortened.SetType(Code(MsgType::kOffhook));
  shortened.SetExtension("100");
  shortened.SetLength(40);
  const Bytes unknown_category = WithWord(OffHookImage("100"), CCMLayout::Type.m_nOffset, 0x0901);
  const Bytes event_from_client = WithWord(OffHookImage("100"), CCMLayout::Type.m_nOffset, 0x0301);
  client->SendBytes(Bytes(shortened.GetBytes(), shortened.GetBytes() + 40));
  client->SendBytes(unknown_category);
  client->SendBytes(event_from_client);
  ExpectServed(*client, "100");
  EXPECT_EQ(server_->ReceivedCount("100", MsgType::kOffhook), 1);
}

TEST_F(FaultTest, RandomFramesNeitherStopTheServerNorDisturbOthers) {
  std::unique_ptr<TestClient> bystander = Registered("101");
  std::mt19937 random(20485);
  for (int round = 0; round < 20; ++round) {
    std::unique_ptr<TestClient> noisy = Registered("100");
    ASSERT_TRUE(noisy->connected());
    for (int i = 0; i < 25; ++i) {
      const uint16_t type = static_cast<uint16_t>(((random() % 6) << 8) | (random() % 0x14));
      const size_t length = 32 + random() % 200;
      Bytes frame(length);
      for (uint8_t& b : frame) b = static_cast<uint8_t>(random());
      CCMLayout::WriteWord(frame.data(), CCMLayout::MAGIC);
      CCMLayout::WriteWord(frame.data() + CCMLayout::Length.m_nOffset, static_cast<uint16_t>(length));
      CCMLayout::WriteWord(frame.data() + CCMLayout::Type.m_nOffset, type);
      if (random() % 2) CCMLayout::WriteText(frame.data(), CCMLayout::Extension, "100");
      noisy->SendBytes(frame);
    }
    noisy.reset();
    ASSERT_TRUE(server_->WaitUntil([&] { return !server_->IsRegistered("100"); }, kWait));
  }
  ExpectServed(*bystander, "101");
  EXPECT_TRUE(server_->IsRegistered("101"));
}

TEST_F(FaultTest, MutedRepliesAreWithheldUntilUnmute) {
  std::unique_ptr<TestClient> client = Registered("100");
  ASSERT_TRUE(server_->Mute("100").ok());
  client->Request(MsgType::kOffhook, "100", 0, 3);
  client->Request(MsgType::kDialDigits, "100", 65, 0, "999");
  ASSERT_TRUE(server_->WaitUntil([&] { return server_->ReceivedCount("100", MsgType::kDialDigits) == 1; }, kWait));
  EXPECT_EQ(server_->SentCount("100", MsgType::kOffhookReply), 0);
  EXPECT_TRUE(client->NothingPending());
  ASSERT_TRUE(server_->Unmute("100").ok());
  EXPECT_EQ(client->Next(2), "100 0301/65#3 100 0384/65/999");
}

TEST_F(FaultTest, DelayedRepliesKeepTheirOrderAndLeaveBeforeTheShutdownNotice) {
  std::unique_ptr<TestClient> client = Registered("100");
  server_->SetDelay(60000);
  client->Request(MsgType::kOffhook, "100", 0, 4);
  client->Request(MsgType::kOnhook, "100", 65);
  ASSERT_TRUE(server_->WaitUntil([&] { return server_->ReceivedCount("100", MsgType::kOnhook) == 1; }, kWait));
  EXPECT_TRUE(client->NothingPending());
  server_->Shutdown();
  EXPECT_EQ(client->Next(3), "100 0301/65#4 100 0303/65 100 0105");
  EXPECT_TRUE(client->WaitClosed());
}

TEST_F(FaultTest, ShutdownIsAnnouncedToEveryRegisteredExtension) {
  std::unique_ptr<TestClient> shared = Connect();
  shared->Register("100");
  shared->Register("101");
  EXPECT_EQ(shared->Next(2), "100 0102 101 0102");
  std::unique_ptr<TestClient> single = Registered("102");
  std::unique_ptr<TestClient> unregistered = Connect();
  ASSERT_TRUE(server_->WaitUntil([&] { return server_->ConnectionCount() == 3; }, kWait));
  ASSERT_TRUE(server_->Lift("102").ok());
  server_->Shutdown();
  EXPECT_EQ(shared->Next(2), "100 0105 101 0105");
  EXPECT_EQ(single->Next(2), "102 0301/65 102 0105");
  for (TestClient* c : {shared.get(), single.get(), unregistered.get()}) EXPECT_TRUE(c->WaitClosed());
  EXPECT_FALSE(server_->IsRegistered("100"));
  // The simulator goes on listening, as a restarted call manager.
  std::unique_ptr<TestClient> again = Registered("100");
  server_->Stop();
  EXPECT_EQ(again->Next(), "100 0105");
  EXPECT_TRUE(again->WaitClosed());
  EXPECT_FALSE(TestClient(server_->Port()).connected());
}

TEST_F(FaultTest, DropClosesEveryConnection) {
  std::unique_ptr<TestClient> a = Registered("100");
  std::unique_ptr<TestClient> b = Registered("101");
  server_->DropConnections();
  EXPECT_TRUE(a->WaitClosed());
  EXPECT_TRUE(b->WaitClosed());
  EXPECT_EQ(server_->ConnectionCount(), 0u);
  EXPECT_FALSE(server_->IsRegistered("100"));
}

TEST_F(FaultTest, GarbageReachesTheExtensionsConnection) {
  struct Case {
    const char* kind;
    size_t size;
    uint16_t magic;
    uint16_t length;
    uint16_t type;
  };
  const Case cases[] = {
      {"magic", 148, 0xDEAD, 148, 0x0303},
      {"short", 16, 0xB0B0, 16, 0x0303},
      {"long", 148, 0xB0B0, 0xFFFF, 0x0303},
      {"type", 148, 0xB0B0, 148, 0x03FF},
  };
  std::unique_ptr<TestClient> client = Registered("100");
  for (const Case& c : cases) {
    ASSERT_TRUE(server_->SendGarbage("100", c.kind).ok()) << c.kind;
    std::optional<Bytes> raw = client->ReadRaw(c.size);
    ASSERT_TRUE(raw) << c.kind;
    EXPECT_EQ(CCMLayout::ReadWord(raw->data()), c.magic) << c.kind;
    EXPECT_EQ(CCMLayout::ReadWord(raw->data() + 2), c.length) << c.kind;
    EXPECT_EQ(CCMLayout::ReadWord(raw->data() + 4), c.type) << c.kind;
  }
  EXPECT_FALSE(server_->SendGarbage("100", "noise").ok());
  EXPECT_FALSE(server_->SendGarbage("101", "magic").ok());
  ASSERT_TRUE(server_->SendGarbage("100", "truncated").ok());
  std::optional<Bytes> part = client->ReadRaw(16);
  ASSERT_TRUE(part);
  EXPECT_EQ(CCMLayout::ReadWord(part->data() + 2), 148);
  EXPECT_TRUE(client->WaitClosed());
  EXPECT_FALSE(server_->IsRegistered("100"));
}

}  // namespace
}  // namespace ccmsim::testing
