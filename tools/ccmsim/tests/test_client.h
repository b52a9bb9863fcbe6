// A raw protocol client for the simulator's tests: connects over loopback, sends records built
// with the protocol records (or any bytes), and reads framed messages with a bounded wait; and
// a fixture that runs an in-process Server on an ephemeral port. One thread per client.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ccmsim/messages.h"
#include "ccmsim/server.h"

namespace ccmsim::testing {

using Bytes = std::vector<uint8_t>;
inline constexpr std::chrono::milliseconds kWait{5000};

// A received message, read through CCMView by its category.
struct Frame {
  uint16_t type = 0;
  size_t length = 0;
  std::string extension;
  uint32_t request_id = 0;
  uint16_t line = 0;
  uint16_t second_line = 0;
  std::string address;
  std::string name;  // caller name, or the owner name of a phone reply
  std::string dialled;
  uint16_t dtmf = 0;
  uint16_t status = 0;
  uint32_t operations = 0;
};
Frame ParseFrame(const Bytes& bytes);
// "EXT CODE" for administrative messages, "EXT CODE/LINE[/ADDRESS][#ID][=DTMF]" for call
// status, "EXT CODE" for phone replies; then "!STATUS" when the status is not 0.
std::string Text(const Frame& frame);

class TestClient {
 public:
  explicit TestClient(uint16_t port);
  ~TestClient();
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool connected() const { return fd_ >= 0; }
  bool SendBytes(const Bytes& bytes);
  // Ends the client's sending side (the server sees the end of the stream).
  void CloseWrite();
  void Register(const std::string& extension, const std::string& password = "");
  void Unregister(const std::string& extension);
  void Request(MsgType type, const std::string& extension, uint16_t line = 0, uint32_t request_id = 0,
               const std::string& digits = "");
  void Query(const std::string& extension, uint32_t operations);

  // The next complete message; none on time-out or when the connection ends first.
  std::optional<Frame> Read(std::chrono::milliseconds timeout = kWait);
  // Text of the next message, "timeout" or "closed".
  std::string Next(std::chrono::milliseconds timeout = kWait);
  // Texts of the next n messages, separated by spaces.
  std::string Next(int n);
  // Exactly n raw bytes (no framing); none on time-out or end of stream.
  std::optional<Bytes> ReadRaw(size_t n, std::chrono::milliseconds timeout = kWait);
  // True when the server closes the connection within the timeout (anything still arriving is
  // discarded).
  bool WaitClosed(std::chrono::milliseconds timeout = kWait);
  // True when nothing is waiting to be read right now.
  bool NothingPending();

 private:
  // Reads more into buffer_; false on time-out or end of stream.
  bool Fill(std::chrono::steady_clock::time_point deadline);

  int fd_ = -1;
  bool closed_ = false;
  Bytes buffer_;
};

class SimTest : public ::testing::Test {
 protected:
  explicit SimTest(Directory directory = Directory::Default(20));
  void SetUp() override;

  std::unique_ptr<TestClient> Connect();
  // A client with the extension registered (the reply read).
  std::unique_ptr<TestClient> Registered(const std::string& extension);

  ServerOptions options_;
  std::unique_ptr<Server> server_;
};

}  // namespace ccmsim::testing
