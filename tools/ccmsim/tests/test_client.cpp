// The test client and fixture.
#include "test_client.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>

#include "test_records.h"

namespace ccmsim::testing {
namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

TestClient::TestClient(uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (fd_ >= 0) {
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
}

TestClient::~TestClient() {
  if (fd_ >= 0) ::close(fd_);
}

bool TestClient::SendBytes(const Bytes& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

void TestClient::CloseWrite() { ::shutdown(fd_, SHUT_WR); }

void TestClient::Register(const std::string& extension, const std::string& password) {
  SendBytes(AdministrativeImage(MsgType::kRegistration, extension, password));
}

void TestClient::Unregister(const std::string& extension) {
  SendBytes(AdministrativeImage(MsgType::kUnregister, extension, ""));
}

void TestClient::Request(MsgType type, const std::string& extension, uint16_t line, uint32_t request_id,
                         const std::string& digits) {
  SendBytes(CallControlImage(type, extension, line, request_id, digits));
}

void TestClient::Query(const std::string& extension, uint32_t operations) {
  SendBytes(PhoneQueryImage(extension, operations));
}

bool TestClient::Fill(Clock::time_point deadline) {
  if (fd_ < 0 || closed_) return false;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(std::max<long long>(left, 0))) <= 0) return false;
  uint8_t chunk[4096];
  const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
  if (n <= 0) {
    closed_ = true;
    return false;
  }
  buffer_.insert(buffer_.end(), chunk, chunk + n);
  return true;
}

std::optional<Frame> TestClient::Read(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (buffer_.size() >= 4) {
      const size_t length = FrameLength(buffer_.data());
      if (length >= 4 && buffer_.size() >= length) {
        const Bytes bytes(buffer_.begin(), buffer_.begin() + static_cast<long>(length));
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(length));
        return ParseFrame(bytes);
      }
    }
    if (!Fill(deadline)) return std::nullopt;
  }
}

std::string TestClient::Next(std::chrono::milliseconds timeout) {
  std::optional<Frame> frame = Read(timeout);
  if (frame) return Text(*frame);
  return closed_ ? "closed" : "timeout";
}

std::string TestClient::Next(int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += (i == 0 ? "" : " ") + Next();
  return text;
}

std::optional<Bytes> TestClient::ReadRaw(size_t n, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (buffer_.size() < n) {
    if (!Fill(deadline)) return std::nullopt;
  }
  Bytes bytes(buffer_.begin(), buffer_.begin() + static_cast<long>(n));
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(n));
  return bytes;
}

bool TestClient::WaitClosed(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!closed_) {
    buffer_.clear();
    if (!Fill(deadline) && !closed_) return false;
  }
  return true;
}

bool TestClient::NothingPending() {
  if (!buffer_.empty()) return false;
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) == 0;
}

SimTest::SimTest(Directory directory) { options_.directory = std::move(directory); }

void SimTest::SetUp() {
  server_ = std::make_unique<Server>(options_);
  ASSERT_TRUE(server_->Start().ok());
  ASSERT_NE(server_->Port(), 0);
}

std::unique_ptr<TestClient> SimTest::Connect() {
  auto client = std::make_unique<TestClient>(server_->Port());
  EXPECT_TRUE(client->connected());
  return client;
}

std::unique_ptr<TestClient> SimTest::Registered(const std::string& extension) {
  std::unique_ptr<TestClient> client = Connect();
  client->Register(extension);
  EXPECT_EQ(client->Next(), extension + " 0102");
  return client;
}

}  // namespace ccmsim::testing
