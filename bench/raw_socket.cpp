// Bare POSIX loopback sockets for the benchmarks (see raw_socket.h).
#include "raw_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace bench {

namespace {
void NoDelay(int fd) {
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}
}  // namespace

int Listen(uint16_t* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 16) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

int Accept(int listener) {
  const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) NoDelay(fd);
  return fd;
}

int Connect(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  NoDelay(fd);
  return fd;
}

void Close(int fd) {
  if (fd >= 0) close(fd);
}

bool SendAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t sent = send(fd, p, size, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    p += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

bool ReceiveAll(int fd, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = recv(fd, p, size, 0);
    if (got <= 0) return false;
    p += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

size_t ReadFrames(int fd, size_t frames) {
  std::vector<unsigned char> buffer(64 * 1024);
  size_t filled = 0, seen = 0;
  while (seen < frames) {
    const ssize_t got = recv(fd, buffer.data() + filled, buffer.size() - filled, 0);
    if (got <= 0) break;
    filled += static_cast<size_t>(got);
    size_t at = 0;
    while (filled - at >= 4) {
      const size_t length = (static_cast<size_t>(buffer[at + 2]) << 8) | buffer[at + 3];
      if (length < 4 || filled - at < length) break;
      at += length;
      ++seen;
    }
    std::memmove(buffer.data(), buffer.data() + at, filled - at);
    filled -= at;
  }
  return seen;
}

void Discard(int fd) {
  char buffer[16 * 1024];
  while (recv(fd, buffer, sizeof buffer, 0) > 0) {
  }
}

}  // namespace bench
