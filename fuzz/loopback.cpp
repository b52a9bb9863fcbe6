#include "loopback.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "fuzz_support.h"

namespace kivfuzz {

int ListenLoopback(uint16_t* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  KIVFUZZ_CHECK(fd >= 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  KIVFUZZ_CHECK(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0);
  KIVFUZZ_CHECK(::listen(fd, 8) == 0);
  socklen_t len = sizeof addr;
  KIVFUZZ_CHECK(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0);
  *port = ntohs(addr.sin_port);
  return fd;
}

int AcceptWithin(int listener, int timeout_ms) {
  pollfd pfd{listener, POLLIN, 0};
  KIVFUZZ_CHECK(::poll(&pfd, 1, timeout_ms) == 1);
  const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  KIVFUZZ_CHECK(fd >= 0);
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

size_t SendSome(int fd, const uint8_t* data, size_t size, int timeout_ms) {
  pollfd pfd{fd, POLLOUT, 0};
  KIVFUZZ_CHECK(::poll(&pfd, 1, timeout_ms) == 1);
  const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
  return n > 0 ? static_cast<size_t>(n) : 0;
}

void ShutdownSend(int fd) { ::shutdown(fd, SHUT_WR); }

void DrainAndClose(int fd) {
  uint8_t drain[512];
  while (::recv(fd, drain, sizeof drain, MSG_DONTWAIT) > 0) {
  }
  // An abortive close leaves no TIME_WAIT entry behind: tens of thousands of inputs would
  // otherwise pile them up on the loopback and starve later connections.
  const linger abort_close{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort_close, sizeof abort_close);
  ::close(fd);
}

}  // namespace kivfuzz
