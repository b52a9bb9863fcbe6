// Winsock surface over loopback: a TCP round trip on 127.0.0.1, a reset close (SO_LINGER 0)
// seen by the peer, send on a reset connection failing without SIGPIPE, a refused connect,
// closesocket ending recv and accept calls blocked in other threads, and name resolution.
// The listener is made with the platform's own calls: POSIX socket headers cannot be
// included beside plat/sockets.h.
#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cstring>
#include <future>
#include <string>

#include "plat/sockets.h"

namespace {

constexpr auto kWaitLimit = std::chrono::seconds(10);

class SocketsTest : public testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 0), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(2, 0));
  }
  void TearDown() override { EXPECT_EQ(WSACleanup(), 0); }

  // A listener on 127.0.0.1 and an ephemeral port, which it returns.
  USHORT Listen(SOCKET* listener) {
    *listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    EXPECT_NE(*listener, INVALID_SOCKET);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    EXPECT_EQ(bind(*listener, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)), 0);
    EXPECT_EQ(listen(*listener, 4), 0);
    int len = sizeof(addr);
    EXPECT_EQ(getsockname(*listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    EXPECT_NE(addr.sin_port, 0);
    return ntohs(addr.sin_port);
  }

  static int ConnectTo(SOCKET s, const char* host, USHORT port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = inet_addr(host);
    addr.sin_port = htons(port);
    return connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
  }

  // A connected pair: client and accepted server side.
  void Connect(SOCKET* client, SOCKET* server) {
    SOCKET listener = INVALID_SOCKET;
    const USHORT port = Listen(&listener);
    *client = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_NE(*client, INVALID_SOCKET);
    ASSERT_EQ(ConnectTo(*client, "127.0.0.1", port), 0) << WSAGetLastError();
    sockaddr_in peer{};
    int len = sizeof(peer);
    *server = accept(listener, reinterpret_cast<sockaddr*>(&peer), &len);
    ASSERT_NE(*server, INVALID_SOCKET);
    EXPECT_EQ(peer.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(closesocket(listener), 0);
  }
};

TEST_F(SocketsTest, BytesTravelBothWaysAndAnOrderlyCloseReadsAsZero) {
  SOCKET client = INVALID_SOCKET;
  SOCKET server = INVALID_SOCKET;
  ASSERT_NO_FATAL_FAILURE(Connect(&client, &server));

  const std::string request("hello\0world", 11);
  ASSERT_EQ(send(client, request.data(), static_cast<int>(request.size()), 0), 11);
  std::string got(11, '\0');
  ASSERT_EQ(recv(server, got.data(), 11, MSG_WAITALL), 11);
  EXPECT_EQ(got, request);

  ASSERT_EQ(send(server, "ok", 2, 0), 2);
  char reply[8] = {};
  ASSERT_EQ(recv(client, reply, sizeof(reply), 0), 2);
  EXPECT_STREQ(reply, "ok");

  EXPECT_EQ(closesocket(server), 0);
  EXPECT_EQ(recv(client, reply, sizeof(reply), 0), 0);
  EXPECT_EQ(closesocket(client), 0);
}

TEST_F(SocketsTest, ZeroLingerResetsAndSendOnAResetConnectionFailsWithoutSignal) {
  SOCKET client = INVALID_SOCKET;
  SOCKET server = INVALID_SOCKET;
  ASSERT_NO_FATAL_FAILURE(Connect(&client, &server));

  const linger reset{1, 0};
  ASSERT_EQ(setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof(reset)), 0);
  ASSERT_EQ(closesocket(client), 0);

  char buffer[4];
  EXPECT_EQ(recv(server, buffer, sizeof(buffer), 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
  // Without MSG_NOSIGNAL this would end the test program with SIGPIPE.
  EXPECT_EQ(send(server, "x", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
  EXPECT_EQ(closesocket(server), 0);
}

TEST_F(SocketsTest, ClosesocketEndsCallsBlockedInOtherThreads) {
  SOCKET client = INVALID_SOCKET;
  SOCKET server = INVALID_SOCKET;
  ASSERT_NO_FATAL_FAILURE(Connect(&client, &server));

  std::promise<void> reading;
  auto reader = std::async(std::launch::async, [&] {
    char byte = 0;
    EXPECT_EQ(recv(client, &byte, 1, 0), 1);  // the first byte proves the thread is reading
    reading.set_value();
    return recv(client, &byte, 1, 0);
  });
  ASSERT_EQ(send(server, "x", 1, 0), 1);
  ASSERT_EQ(reading.get_future().wait_for(kWaitLimit), std::future_status::ready);
  // The reader may not have entered its second recv yet; either way it must not block forever.
  EXPECT_EQ(closesocket(client), 0);
  ASSERT_EQ(reader.wait_for(kWaitLimit), std::future_status::ready);
  EXPECT_LE(reader.get(), 0);
  EXPECT_EQ(closesocket(server), 0);

  SOCKET listener = INVALID_SOCKET;
  Listen(&listener);
  auto acceptor = std::async(std::launch::async, [&] { return accept(listener, nullptr, nullptr); });
  EXPECT_EQ(closesocket(listener), 0);
  ASSERT_EQ(acceptor.wait_for(kWaitLimit), std::future_status::ready);
  EXPECT_EQ(acceptor.get(), INVALID_SOCKET);
}

TEST_F(SocketsTest, ConnectToAClosedPortIsRefused) {
  SOCKET listener = INVALID_SOCKET;
  const USHORT port = Listen(&listener);
  ASSERT_EQ(closesocket(listener), 0);
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_NE(s, INVALID_SOCKET);
  EXPECT_EQ(ConnectTo(s, "127.0.0.1", port), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
  EXPECT_EQ(closesocket(s), 0);
}

TEST_F(SocketsTest, NamesAndDottedTextResolveToIPv4) {
  const hostent* host = gethostbyname("localhost");
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->h_addrtype, AF_INET);
  EXPECT_EQ(host->h_length, 4);
  ASSERT_NE(host->h_addr_list[0], nullptr);
  EXPECT_EQ(static_cast<unsigned char>(host->h_addr[0]), 127);  // 127.0.0.0/8

  host = gethostbyname("127.0.0.2");
  ASSERT_NE(host, nullptr);
  in_addr first{};
  std::memcpy(&first, host->h_addr, sizeof(first));
  EXPECT_EQ(first.s_addr, htonl(0x7F000002));
  EXPECT_EQ(host->h_addr_list[1], nullptr);

  struct Case {
    const char* text;
    ULONG expected;
  };
  const Case cases[] = {
      {"127.0.0.1", htonl(0x7F000001)},
      {"10.20.30.40", htonl(0x0A141E28)},
      {"256.1.1.1", INADDR_NONE},
      {"ccm.example", INADDR_NONE},
      {"", INADDR_NONE},
  };
  for (const Case& c : cases) EXPECT_EQ(inet_addr(c.text), c.expected) << c.text;
  EXPECT_EQ(htons(0x1234), std::endian::native == std::endian::little ? 0x3412 : 0x1234);
  EXPECT_EQ(ntohl(htonl(0x01020304)), 0x01020304u);
}

TEST(WsaStartupTest, CleanupWithoutStartupFails) {
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

}  // namespace
