// Fuzz target: the simulator's frame handling, from a malicious client. One in-process server
// on 127.0.0.1 serves every input; each input is one connection that writes the input as its
// byte stream, ends its sending side and reads until the server closes. The server must stay
// up: the next connection of the run finds it answering.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

#include "ccmsim/server.h"
#include "fuzz_support.h"

namespace {

// Upper bound on one exchange; far above what a well-behaved server needs.
constexpr int kExchangeTimeoutMs = 5000;

ccmsim::Server& TheServer() {
  static const std::unique_ptr<ccmsim::Server> server = [] {
    ccmsim::ServerOptions options;
    // Every trace line is formatted, as under --verbose, and dropped.
    options.trace = [](const std::string&) {};
    auto s = std::make_unique<ccmsim::Server>(std::move(options));
    KIVFUZZ_CHECK(s->Start().ok());
    return s;
  }();
  return *server;
}

int Connect(uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // Tens of thousands of short connections leave the loopback's TIME_WAIT table full for a
  // while, and a connect can then fail for a moment; a few bounded retries ride that out.
  for (int attempt = 0; attempt < 200; ++attempt) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    KIVFUZZ_CHECK(fd >= 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
      KIVFUZZ_CHECK(::fcntl(fd, F_SETFL, O_NONBLOCK) == 0);
      return fd;
    }
    ::close(fd);
    ::poll(nullptr, 0, 10);
  }
  KIVFUZZ_CHECK(!"cannot connect to the simulator");
  return -1;
}

// Writes the input while reading the replies (so neither side stalls on a full buffer), then
// reads until the server closes the connection.
void Exchange(int fd, const uint8_t* data, size_t size) {
  size_t sent = 0;
  bool write_open = true;
  for (;;) {
    if (write_open && sent == size) {
      ::shutdown(fd, SHUT_WR);
      write_open = false;
    }
    pollfd pfd{fd, static_cast<short>(POLLIN | (write_open ? POLLOUT : 0)), 0};
    KIVFUZZ_CHECK(::poll(&pfd, 1, kExchangeTimeoutMs) == 1);  // 0: the server hangs
    if (pfd.revents & (POLLIN | POLLHUP | POLLERR)) {
      uint8_t buffer[4096];
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return;  // closed or reset
    }
    if (write_open && (pfd.revents & POLLOUT)) {
      const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<size_t>(n);
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        write_open = false;  // the server closed on a bad frame; read what it said
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ccmsim::Server& server = TheServer();
  const int fd = Connect(server.Port());
  Exchange(fd, data, size);
  // Answer the server's close with a reset rather than a close of our own, so that its side
  // leaves no TIME_WAIT entry: tens of thousands of those would collide with later connects.
  const linger abort_close{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort_close, sizeof abort_close);
  ::close(fd);
  return 0;
}
