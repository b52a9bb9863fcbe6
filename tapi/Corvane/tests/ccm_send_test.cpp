// Sending a record over a loopback TCP connection: the bytes that arrive are the record's wire
// image, the send is traced with the Type word as stored, and a failed send is reported.
// The component's logging instance is initialised here (the test links the same static
// logging library) so that its trace and error lines reach the standard output.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "CCMAD.h"
#include "CCMCC.h"
#include "KivLog.h"
#include "plat/sockets.h"

namespace {

using Bytes = std::vector<BYTE>;

// A connected pair of TCP sockets on 127.0.0.1.
class LoopbackPair {
 public:
  LoopbackPair() {
    WSADATA data;
    EXPECT_EQ(WSAStartup(0x0202, &data), 0);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(listener, 1), 0);
    int length = sizeof address;
    EXPECT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    client_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    EXPECT_EQ(connect(client_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    server_ = accept(listener, nullptr, nullptr);
    closesocket(listener);
  }
  ~LoopbackPair() {
    closesocket(client_);
    closesocket(server_);
    WSACleanup();
  }
  SOCKET client() const { return client_; }

  // Reads exactly `count` bytes from the server side.
  Bytes Receive(size_t count) {
    Bytes bytes(count);
    size_t done = 0;
    while (done < count) {
      const int got = recv(server_, reinterpret_cast<char*>(bytes.data() + done),
                           static_cast<int>(count - done), 0);
      if (got <= 0) break;
      done += static_cast<size_t>(got);
    }
    bytes.resize(done);
    return bytes;
  }

 private:
  SOCKET client_ = INVALID_SOCKET;
  SOCKET server_ = INVALID_SOCKET;
};

class CcmSend : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    KivLog::Init(0);
    ASSERT_EQ(KivLog::RegisterModule("Corvane"), 0);
    KivLog::SetOutputFlags(0x1);  // select information lines by the module mask
    KivLog::SetModuleMask("Corvane", 0x100);
  }
};

TEST_F(CcmSend, SendsTheWireImageAndTracesIt) {
  LoopbackPair pair;
  CCMCC request;
  request.SetType(0x0201);
  request.SetExtension("1234");
  request.SetRequestId(1);
  const Bytes image(request.GetBytes(), request.GetBytes() + 108);

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(request.send(pair.client()), 108);
  const std::string printed = ::testing::internal::GetCapturedStdout();

  EXPECT_EQ(pair.Receive(108), image);
  // The Type is printed as the stored network-order word read as a host integer.
  WORD stored = 0;
  std::memcpy(&stored, image.data() + 4, sizeof stored);
  char expected[64];
  std::snprintf(expected, sizeof expected, "CCMMessage: Extension (1234) Message Type %x ", stored);
  EXPECT_NE(printed.find(expected), std::string::npos) << printed;
}

// Two records sent back to back arrive as one stream: the second starts right after the first.
TEST_F(CcmSend, BackToBackRecordsAreContiguous) {
  LoopbackPair pair;
  CCMAD registration;
  registration.SetType(0x0101);
  registration.SetPassword("secret");
  CCMCC offhook;
  offhook.SetType(0x0201);
  ASSERT_EQ(registration.send(pair.client()), 52);
  ASSERT_EQ(offhook.send(pair.client()), 108);
  Bytes expected(registration.GetBytes(), registration.GetBytes() + 52);
  expected.insert(expected.end(), offhook.GetBytes(), offhook.GetBytes() + 108);
  EXPECT_EQ(pair.Receive(160), expected);
}

TEST_F(CcmSend, FailedSendIsReported) {
  CCMAD message;
  ::testing::internal::CaptureStdout();
  EXPECT_LT(message.send(INVALID_SOCKET), 0);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  const std::string expected = "E CCMMessage.send():: Error writing TCP socket " +
                               std::to_string(static_cast<int>(INVALID_SOCKET));
  EXPECT_NE(printed.find(expected), std::string::npos) << printed;
}

}  // namespace
