// The component when the connection misbehaves: a frame cut off by the end of the stream, a
// malformed frame, the server going away and coming back, and a stream fed one byte at a time.
// Each fault must end the connection cleanly (the reader thread gone, requests failing with
// E_FAIL, nothing delivered from the bad bytes) and the next ConnectToServer must work again.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "ccmsim/server.h"
#include "hardening_support.h"

namespace {

using namespace cvntest;
using cvnhard::RegisterAndWait;
using cvnhard::ThreadCount;
using cvnhard::WaitThreads;

// A message as a client sees it: type, extension and the dump of every field.
using Seen = std::tuple<LONG, std::string, std::string>;

Seen Describe(IMsgInterpreter* message) {
  Bstr extension, dump;
  EXPECT_EQ(message->GetUserExtensionA(extension.Out()), S_OK);
  EXPECT_EQ(message->DumpA(dump.Out()), S_OK);
  return {MsgType(message), extension.NarrowText(), dump.NarrowText()};
}

// The event may still be set from messages retrieved without waiting; the queue decides.
void ExpectNothingQueued(ICvnEndPoint* endpoint) {
  ComPtr<IMsgInterpreter> message;
  EXPECT_EQ(endpoint->RetrieveMsg(message.Out()), E_FAIL);
  EXPECT_FALSE(message);
}

// Frames cut off by the server closing the connection: inside the header, and after a complete
// header whose body never comes. The frame before the cut is delivered, nothing after it.
TEST(FaultInjectionTest, ConnectionDroppedMidFrame) {
  ComponentMachine machine;
  RawServer server;
  PointAtServer(server.Port());
  const int threads = ThreadCount();

  ComPtr<ICvnEndPoint> endpoint = CreateEndPoint();
  const auto connected = MakeFrame(0x0383, "100", CCMLayout::CS_SIZE);
  const size_t cuts[] = {10, CCMLayout::HEADER_SIZE + 4, connected.size() - 1};
  int connections = 0;
  for (const size_t cut : cuts) {
    SCOPED_TRACE(cut);
    HANDLE event = ConnectWithOwnEvent(endpoint.Get());
    ASSERT_TRUE(server.WaitConnections(++connections));
    EXPECT_EQ(ThreadCount(), threads + 1);
    Bstr extension = Bstr::Narrow("100"), password = Bstr::Narrow("pw");
    ASSERT_EQ(endpoint->RegisterA(extension.Get(), password.Get()), S_OK);
    ASSERT_TRUE(server.NextFrame().has_value());

    std::vector<BYTE> bytes = MakeFrame(0x0384, "100", CCMLayout::CS_SIZE);
    bytes.insert(bytes.end(), connected.begin(), connected.begin() + static_cast<long>(cut));
    ASSERT_TRUE(server.Send(bytes));
    EXPECT_EQ(MsgType(WaitMessage(endpoint.Get(), event).Get()), eBusy);
    server.CloseConnection();

    // The reader ends by itself; the partial frame gave nothing.
    EXPECT_TRUE(WaitThreads(threads));
    ExpectNothingQueued(endpoint.Get());
    EXPECT_EQ(endpoint->Offhook(0, 1), E_FAIL);
  }
  EXPECT_EQ(endpoint->DisconnectFromServer(), S_OK);
}

struct GarbageCase {
  const char* kind;
  bool closes;
  // Messages the garbage frame itself gives before the next reply (-1: not checked).
  int delivered;
};

// Malformed frames from the simulator. A length that cannot be framed, or a frame cut off by
// the end of the stream, closes the connection: the extension's messages stop, requests fail,
// and connecting again gives a working connection read by one reader thread. A wrong magic is
// not acted on (the frame is processed as framed), nor is an unknown type.
TEST(FaultInjectionTest, GarbageFrameClosesTheConnectionCleanly) {
  ComponentMachine machine;
  ccmsim::Server server;
  ASSERT_TRUE(server.Start().ok());
  PointAtServer(server.Port());
  const int threads = ThreadCount();

  ComPtr<ICvnEndPoint> endpoint = CreateEndPoint();
  HANDLE event = ConnectWithOwnEvent(endpoint.Get());
  RegisterAndWait(endpoint.Get(), event, "100");
  const GarbageCase cases[] = {{"short", true, 0},
                               {"long", true, 0},
                               {"truncated", true, 0},
                               {"magic", false, 1},
                               {"type", false, -1}};
  for (const GarbageCase& c : cases) {
    SCOPED_TRACE(c.kind);
    ASSERT_TRUE(server.SendGarbage("100", c.kind).ok());
    if (c.closes) {
      EXPECT_TRUE(WaitThreads(threads));
      EXPECT_TRUE(server.WaitUntil([&] { return server.ConnectionCount() == 0; }, kWait));
      ExpectNothingQueued(endpoint.Get());
      EXPECT_EQ(endpoint->Offhook(0, 1), E_FAIL);
      event = ConnectWithOwnEvent(endpoint.Get());
      RegisterAndWait(endpoint.Get(), event, "100");
    }
    // The connection works: a request gets its reply.
    EXPECT_EQ(ThreadCount(), threads + 1);
    ASSERT_EQ(endpoint->Offhook(0, 7), S_OK);
    ComPtr<IMsgInterpreter> reply;
    int before_reply = 0;
    for (; before_reply < 3; ++before_reply) {
      reply = WaitMessage(endpoint.Get(), event);
      ASSERT_TRUE(reply);
      if (MsgType(reply.Get()) == eOffhookReply) break;
    }
    ASSERT_EQ(MsgType(reply.Get()), eOffhookReply);
    if (c.delivered >= 0) {
      EXPECT_EQ(before_reply, c.delivered);
    }
    LONG line = 0;
    ASSERT_EQ(reply->GetFirstLineNum(&line), S_OK);
    ASSERT_EQ(endpoint->Onhook(line), S_OK);
    EXPECT_EQ(MsgType(WaitMessage(endpoint.Get(), event).Get()), eOnhookReply);
  }
  EXPECT_EQ(endpoint->DisconnectFromServer(), S_OK);
  EXPECT_TRUE(WaitThreads(threads));
}

// The server stopped: the extension hears the shutdown notice, requests fail while the server
// is gone (connecting then fails too, and starts no thread), and once a server listens on the
// same port again ConnectToServer reconnects and registration works, with one reader thread.
TEST(FaultInjectionTest, ServerStoppedAndStartedAgain) {
  ComponentMachine machine;
  auto server = std::make_unique<ccmsim::Server>();
  ASSERT_TRUE(server->Start().ok());
  const uint16_t port = server->Port();
  PointAtServer(port);
  const int threads = ThreadCount();

  ComPtr<ICvnEndPoint> endpoint = CreateEndPoint();
  HANDLE event = ConnectWithOwnEvent(endpoint.Get());
  RegisterAndWait(endpoint.Get(), event, "100");

  server->Stop();
  EXPECT_EQ(MsgType(WaitMessage(endpoint.Get(), event).Get()), eShutdown);
  EXPECT_TRUE(WaitThreads(threads - 1));  // the simulator's loop thread is gone too
  EXPECT_EQ(endpoint->Offhook(0, 1), E_FAIL);
  for (int attempt = 0; attempt < 3; ++attempt) {
    ConnectWithOwnEvent(endpoint.Get());
    EXPECT_EQ(endpoint->Offhook(0, 1), E_FAIL);
    Bstr extension = Bstr::Narrow("100"), password = Bstr::Narrow("pw");
    EXPECT_EQ(endpoint->RegisterA(extension.Get(), password.Get()), E_FAIL);
  }
  EXPECT_EQ(ThreadCount(), threads - 1);
  ExpectNothingQueued(endpoint.Get());

  ccmsim::ServerOptions options;
  options.port = port;
  server = std::make_unique<ccmsim::Server>(options);
  ASSERT_TRUE(server->Start().ok());
  EXPECT_TRUE(WaitThreads(threads));
  event = ConnectWithOwnEvent(endpoint.Get());
  EXPECT_EQ(ThreadCount(), threads + 1);
  RegisterAndWait(endpoint.Get(), event, "100");
  EXPECT_TRUE(server->IsRegistered("100"));
  ASSERT_EQ(endpoint->Offhook(0, 3), S_OK);
  EXPECT_EQ(MsgType(WaitMessage(endpoint.Get(), event).Get()), eOffhookReply);
  EXPECT_EQ(ThreadCount(), threads + 1);
  EXPECT_EQ(endpoint->DisconnectFromServer(), S_OK);
  EXPECT_TRUE(WaitThreads(threads));
}

// A stream of messages of every category, differently sized, read once as one segment and
// once fed one byte at a time: the client sees exactly the same messages, field for field.
TEST(FaultInjectionTest, ByteAtATimeStreamYieldsTheBulkMessages) {
  ComponentMachine machine;
  RawServer server;
  PointAtServer(server.Port());
  ComPtr<ICvnEndPoint> endpoint = CreateEndPoint();
  HANDLE event = ConnectWithOwnEvent(endpoint.Get());
  ASSERT_TRUE(server.WaitConnections(1));
  Bstr extension = Bstr::Narrow("100"), password = Bstr::Narrow("pw");
  ASSERT_EQ(endpoint->RegisterA(extension.Get(), password.Get()), S_OK);
  ASSERT_TRUE(server.NextFrame().has_value());

  std::vector<BYTE> stream;
  size_t count = 0;
  const std::pair<WORD, WORD> frames[] = {
      {0x0102, CCMLayout::AD_SIZE}, {0x0381, CCMLayout::CS_SIZE}, {0x0382, CCMLayout::CS_SIZE},
      {0x0383, CCMLayout::CS_SIZE}, {0x0388, CCMLayout::CS_SIZE}, {0x0301, CCMLayout::CS_SIZE},
      {0x0501, CCMLayout::PR_SIZE}, {0x0502, 600},                {0x0104, CCMLayout::AD_SIZE},
      {0x0386, CCMLayout::CS_SIZE}, {0x0105, CCMLayout::AD_SIZE}};
  for (int round = 0; round < 3; ++round) {
    for (const auto& [type, length] : frames) {
      std::vector<BYTE> frame = MakeFrame(type, "100", length);
      // Field bytes that differ from frame to frame, so that a misframed read shows.
      for (size_t i = CCMLayout::HEADER_SIZE; i < frame.size(); ++i) {
        frame[i] = static_cast<BYTE>('A' + (i + count) % 26);
      }
      stream.insert(stream.end(), frame.begin(), frame.end());
      ++count;
    }
  }

  std::vector<Seen> seen[2];
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass == 0 ? "bulk" : "byte at a time");
    ASSERT_TRUE(server.Send(stream, pass == 0 ? 0 : 1));
    while (seen[pass].size() < count) {
      ComPtr<IMsgInterpreter> message = WaitMessage(endpoint.Get(), event);
      ASSERT_TRUE(message);
      seen[pass].push_back(Describe(message.Get()));
      // Drain whatever else is queued without waiting for another signal.
      while (seen[pass].size() < count && endpoint->RetrieveMsg(message.Out()) == S_OK) {
        seen[pass].push_back(Describe(message.Get()));
      }
    }
    ExpectNothingQueued(endpoint.Get());
  }
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(endpoint->DisconnectFromServer(), S_OK);
}

}  // namespace
