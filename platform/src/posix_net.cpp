#include "posix_net.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace plat::net {
namespace {

constexpr int kWinOob = 0x1;
constexpr int kWinPeek = 0x2;
constexpr int kWinWaitAll = 0x8;

int Result(int rc) { return rc < 0 ? -errno : rc; }

sockaddr_in MakeAddress(std::uint32_t addr, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = port;
  sa.sin_addr.s_addr = addr;
  return sa;
}

int PosixFlags(int flags) {
  return ((flags & kWinOob) != 0 ? MSG_OOB : 0) | ((flags & kWinPeek) != 0 ? MSG_PEEK : 0) |
         ((flags & kWinWaitAll) != 0 ? MSG_WAITALL : 0);
}

int SetFlag(int fd, int level, int name, bool on) {
  const int value = on ? 1 : 0;
  return Result(::setsockopt(fd, level, name, &value, sizeof(value)));
}

int ReadAddress(int rc, const sockaddr_in& sa, std::uint32_t* addr, std::uint16_t* port) {
  if (rc < 0) return -errno;
  if (addr != nullptr) *addr = sa.sin_addr.s_addr;
  if (port != nullptr) *port = sa.sin_port;
  return rc;
}

}  // namespace

int Socket(int family, int type, int protocol) {
  if (family != AF_INET) return -EAFNOSUPPORT;
  return Result(::socket(family, type | SOCK_CLOEXEC, protocol));
}

int Connect(int fd, std::uint32_t addr, std::uint16_t port) {
  const sockaddr_in sa = MakeAddress(addr, port);
  return Result(::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)));
}

int Bind(int fd, std::uint32_t addr, std::uint16_t port) {
  const sockaddr_in sa = MakeAddress(addr, port);
  return Result(::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)));
}

int Listen(int fd, int backlog) { return Result(::listen(fd, backlog)); }

int Accept(int fd, std::uint32_t* addr, std::uint16_t* port) {
  sockaddr_in sa{};
  socklen_t len = sizeof(sa);
  int rc = 0;
  do {
    rc = ::accept4(fd, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
  } while (rc < 0 && errno == EINTR);
  return ReadAddress(rc, sa, addr, port);
}

int LocalAddress(int fd, std::uint32_t* addr, std::uint16_t* port) {
  sockaddr_in sa{};
  socklen_t len = sizeof(sa);
  return ReadAddress(::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len), sa, addr, port);
}

long Send(int fd, const void* buf, std::size_t len, int flags) {
  ssize_t rc = 0;
  do {
    rc = ::send(fd, buf, len, PosixFlags(flags) | MSG_NOSIGNAL);
  } while (rc < 0 && errno == EINTR);
  return rc < 0 ? -errno : rc;
}

long Recv(int fd, void* buf, std::size_t len, int flags) {
  ssize_t rc = 0;
  do {
    rc = ::recv(fd, buf, len, PosixFlags(flags));
  } while (rc < 0 && errno == EINTR);
  return rc < 0 ? -errno : rc;
}

int Shutdown(int fd, int how) {
  const int posix_how = how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR;
  return Result(::shutdown(fd, posix_how));
}

int Close(int fd) { return Result(::close(fd));
}

int SetLinger(int fd, bool on, int seconds) {
  const ::linger value{on ? 1 : 0, seconds};
  return Result(::setsockopt(fd, SOL_SOCKET, SO_LINGER, &value, sizeof(value)));
}

int SetReuseAddress(int fd, bool on) { return SetFlag(fd, SOL_SOCKET, SO_REUSEADDR, on); }

int SetNoDelay(int fd, bool on) { return SetFlag(fd, IPPROTO_TCP, TCP_NODELAY, on); }

bool Resolve(const char* name, std::vector<std::uint32_t>* addrs, std::string* canonical) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* list = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &list) != 0 || list == nullptr) return false;
  addrs->clear();
  *canonical = list->ai_canonname != nullptr ? list->ai_canonname : name;
  for (const addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET || ai->ai_addrlen < sizeof(sockaddr_in)) continue;
    sockaddr_in sa{};
    std::memcpy(&sa, ai->ai_addr, sizeof(sa));
    bool seen = false;
    for (const std::uint32_t a : *addrs) seen = seen || a == sa.sin_addr.s_addr;
    if (!seen) addrs->push_back(sa.sin_addr.s_addr);
  }
  ::freeaddrinfo(list);
  return !addrs->empty();
}

bool ParseIPv4(const char* text, std::uint32_t* addr) {
  in_addr a{};
  if (::inet_aton(text, &a) == 0) return false;
  *addr = a.s_addr;
  return true;
}

}  // namespace plat::net
