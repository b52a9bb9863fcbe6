// The Winsock surface over plat::net: descriptor checks, address records, errno to WSA codes
// (kept per thread through SetLastError, as WSAGetLastError reads it on Windows).
// As on Windows, closesocket ends the recv, accept or send that other threads are blocked in on
// that socket: it wakes them by shutting the socket down, waits until they have left and only
// then closes the descriptor, so no call ever runs on a closed (or reused) descriptor.
#include "plat/sockets.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "posix_net.h"

namespace {

std::atomic<int> g_startups{0};

int WsaError(int err) {
  switch (err) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK;
    case EACCES: case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE: case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EMSGSIZE: return WSAEMSGSIZE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: case EPIPE: return WSAECONNRESET;
    case ENOBUFS: case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WSASYSCALLFAILURE;
  }
}

int Fail(int wsa_error) {
  SetLastError(static_cast<DWORD>(wsa_error));
  return SOCKET_ERROR;
}

// A plat::net result as Winsock reports it.
int Finish(long rc) { return rc < 0 ? Fail(WsaError(static_cast<int>(-rc))) : static_cast<int>(rc); }

bool ValidSocket(SOCKET s) { return s <= static_cast<SOCKET>(INT_MAX); }

// Calls in flight per descriptor, and whether it is being closed.
struct Activity {
  int receivers = 0;  // recv, accept
  int senders = 0;
  bool closing = false;
};

class ActivityTable {
 public:
  // Never destroyed: threads may still use sockets while the process ends.
  static ActivityTable& Get() {
    static auto* table = new ActivityTable;
    return *table;
  }

  bool Enter(int fd, bool sender) {
    std::lock_guard<std::mutex> lock(mutex_);
    Activity& a = table_[fd];
    if (a.closing) return false;
    ++(sender ? a.senders : a.receivers);
    return true;
  }

  void Leave(int fd, bool sender) {
    std::lock_guard<std::mutex> lock(mutex_);
    Activity& a = table_[fd];
    --(sender ? a.senders : a.receivers);
    if (a.closing) {
      left_.notify_all();
    } else if (a.receivers == 0 && a.senders == 0) {
      table_.erase(fd);
    }
  }

  // Marks fd closing; false when another thread is closing it already. *how is the shutdown
  // that wakes the calls in flight (-1: none needed).
  bool BeginClose(int fd, int* how) {
    std::lock_guard<std::mutex> lock(mutex_);
    Activity& a = table_[fd];
    if (a.closing) return false;
    a.closing = true;
    *how = a.senders > 0 ? SD_BOTH : a.receivers > 0 ? SD_RECEIVE : -1;
    return true;
  }

  void AwaitIdleAndForget(int fd) {
    std::unique_lock<std::mutex> lock(mutex_);
    left_.wait(lock, [&] { return table_[fd].receivers == 0 && table_[fd].senders == 0; });
    table_.erase(fd);
  }

 private:
  std::mutex mutex_;
  std::condition_variable left_;
  std::unordered_map<int, Activity> table_;
};

// One call in flight on a socket for the life of this object.
class SocketCall {
 public:
  SocketCall(SOCKET s, bool sender)
      : fd_(static_cast<int>(s)), sender_(sender), entered_(ValidSocket(s) && ActivityTable::Get().Enter(fd_, sender)) {}
  ~SocketCall() {
    if (entered_) ActivityTable::Get().Leave(fd_, sender_);
  }
  SocketCall(const SocketCall&) = delete;
  SocketCall& operator=(const SocketCall&) = delete;

  bool entered() const { return entered_; }
  int fd() const { return fd_; }

 private:
  int fd_;
  bool sender_;
  bool entered_;
};

// The IPv4 address and port of a caller's record; false (with the WSA error set) when the
// record is too short or of another family.
bool ReadAddress(const sockaddr* name, int namelen, std::uint32_t* addr, std::uint16_t* port) {
  if (name == nullptr || namelen < static_cast<int>(sizeof(sockaddr_in))) {
    Fail(WSAEFAULT);
    return false;
  }
  sockaddr_in sin{};
  std::memcpy(&sin, name, sizeof(sin));
  if (sin.sin_family != AF_INET) {
    Fail(WSAEAFNOSUPPORT);
    return false;
  }
  *addr = sin.sin_addr.s_addr;
  *port = sin.sin_port;
  return true;
}

bool WriteAddress(std::uint32_t addr, std::uint16_t port, sockaddr* name, int* namelen) {
  if (name == nullptr && namelen == nullptr) return true;
  if (name == nullptr || namelen == nullptr || *namelen < static_cast<int>(sizeof(sockaddr_in))) {
    Fail(WSAEFAULT);
    return false;
  }
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_port = port;
  sin.sin_addr.s_addr = addr;
  std::memcpy(name, &sin, sizeof(sin));
  *namelen = sizeof(sin);
  return true;
}

// The record gethostbyname hands out, one per thread.
struct HostRecord {
  hostent entry{};
  std::string name;
  std::vector<std::uint32_t> addrs;
  std::vector<char*> addr_list;
  char* aliases[1] = {nullptr};
};
thread_local HostRecord t_host;

}  // namespace

int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
  const BYTE major = LOBYTE(wVersionRequested);
  const BYTE minor = HIBYTE(wVersionRequested);
  if (lpWSAData == nullptr) return WSAEFAULT;
  if (major < 1 || (major == 1 && minor < 1)) return WSAVERNOTSUPPORTED;
  *lpWSAData = WSADATA{};
  lpWSAData->wVersion = major > 2 || (major == 2 && minor > 2) ? MAKEWORD(2, 2) : wVersionRequested;
  lpWSAData->wHighVersion = MAKEWORD(2, 2);
  std::strcpy(lpWSAData->szDescription, "WinSock 2.0");
  std::strcpy(lpWSAData->szSystemStatus, "Running");
  g_startups.fetch_add(1);
  return 0;
}

int WSACleanup() {
  int count = g_startups.load();
  while (count > 0 && !g_startups.compare_exchange_weak(count, count - 1)) {
  }
  return count > 0 ? 0 : Fail(WSANOTINITIALISED);
}

int WSAGetLastError() { return static_cast<int>(GetLastError()); }

SOCKET socket(int af, int type, int protocol) {
  if (af != AF_INET) {
    Fail(WSAEAFNOSUPPORT);
    return INVALID_SOCKET;
  }
  const int fd = plat::net::Socket(af, type, protocol);
  if (fd < 0) {
    Fail(WsaError(-fd));
    return INVALID_SOCKET;
  }
  return static_cast<SOCKET>(fd);
}

int connect(SOCKET s, const sockaddr* name, int namelen) {
  if (!ValidSocket(s)) return Fail(WSAENOTSOCK);
  std::uint32_t addr = 0;
  std::uint16_t port = 0;
  if (!ReadAddress(name, namelen, &addr, &port)) return SOCKET_ERROR;
  return Finish(plat::net::Connect(static_cast<int>(s), addr, port));
}

int bind(SOCKET s, const sockaddr* name, int namelen) {
  if (!ValidSocket(s)) return Fail(WSAENOTSOCK);
  std::uint32_t addr = 0;
  std::uint16_t port = 0;
  if (!ReadAddress(name, namelen, &addr, &port)) return SOCKET_ERROR;
  return Finish(plat::net::Bind(static_cast<int>(s), addr, port));
}

int listen(SOCKET s, int backlog) {
  if (!ValidSocket(s)) return Fail(WSAENOTSOCK);
  return Finish(plat::net::Listen(static_cast<int>(s), backlog));
}

SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen) {
  const SocketCall call(s, /*sender=*/false);
  if (!call.entered()) {
    Fail(WSAENOTSOCK);
    return INVALID_SOCKET;
  }
  if (addr != nullptr && (addrlen == nullptr || *addrlen < static_cast<int>(sizeof(sockaddr_in)))) {
    Fail(WSAEFAULT);
    return INVALID_SOCKET;
  }
  std::uint32_t peer = 0;
  std::uint16_t port = 0;
  const int fd = plat::net::Accept(call.fd(), &peer, &port);
  if (fd < 0) {
    Fail(WsaError(-fd));
    return INVALID_SOCKET;
  }
  if (addr != nullptr) WriteAddress(peer, port, addr, addrlen);
  return static_cast<SOCKET>(fd);
}

int getsockname(SOCKET s, sockaddr* name, int* namelen) {
  if (!ValidSocket(s)) return Fail(WSAENOTSOCK);
  if (name == nullptr || namelen == nullptr) return Fail(WSAEFAULT);
  std::uint32_t addr = 0;
  std::uint16_t port = 0;
  const int rc = plat::net::LocalAddress(static_cast<int>(s), &addr, &port);
  if (rc < 0) return Finish(rc);
  return WriteAddress(addr, port, name, namelen) ? 0 : SOCKET_ERROR;
}

int send(SOCKET s, const char* buf, int len, int flags) {
  const SocketCall call(s, /*sender=*/true);
  if (!call.entered()) return Fail(WSAENOTSOCK);
  if (len < 0 || (buf == nullptr && len > 0)) return Fail(WSAEFAULT);
  return Finish(plat::net::Send(call.fd(), buf, static_cast<std::size_t>(len), flags));
}

int recv(SOCKET s, char* buf, int len, int flags) {
  const SocketCall call(s, /*sender=*/false);
  if (!call.entered()) return Fail(WSAENOTSOCK);
  if (len < 0 || (buf == nullptr && len > 0)) return Fail(WSAEFAULT);
  return Finish(plat::net::Recv(call.fd(), buf, static_cast<std::size_t>(len), flags));
}

int shutdown(SOCKET s, int how) {
  if (!ValidSocket(s)) return Fail(WSAENOTSOCK);
  if (how < SD_RECEIVE || how > SD_BOTH) return Fail(WSAEINVAL);
  return Finish(plat::net::Shutdown(static_cast<int>(s), how));
}

int closesocket(SOCKET s) {
  if (!ValidSocket(s)) return Fail(WSAENOTSOCK);
  const int fd = static_cast<int>(s);
  int how = -1;
  if (!ActivityTable::Get().BeginClose(fd, &how)) return Fail(WSAENOTSOCK);
  if (how >= 0) plat::net::Shutdown(fd, how);
  ActivityTable::Get().AwaitIdleAndForget(fd);
  return Finish(plat::net::Close(fd));
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  if (!ValidSocket(s)) return Fail(WSAENOTSOCK);
  if (optval == nullptr) return Fail(WSAEFAULT);
  const int fd = static_cast<int>(s);
  if (level == SOL_SOCKET && optname == SO_LINGER) {
    if (optlen < static_cast<int>(sizeof(linger))) return Fail(WSAEFAULT);
    linger value{};
    std::memcpy(&value, optval, sizeof(value));
    return Finish(plat::net::SetLinger(fd, value.l_onoff != 0, value.l_linger));
  }
  // The Boolean options take a BOOL (a nonzero int is on).
  if (optlen < static_cast<int>(sizeof(BOOL))) return Fail(WSAEFAULT);
  BOOL on = FALSE;
  std::memcpy(&on, optval, sizeof(on));
  if (level == SOL_SOCKET && optname == SO_REUSEADDR) return Finish(plat::net::SetReuseAddress(fd, on != 0));
  if (level == IPPROTO_TCP && optname == TCP_NODELAY) return Finish(plat::net::SetNoDelay(fd, on != 0));
  return Fail(WSAENOPROTOOPT);
}

hostent* gethostbyname(const char* name) {
  HostRecord& h = t_host;
  if (name == nullptr || !plat::net::Resolve(name, &h.addrs, &h.name)) {
    Fail(WSAHOST_NOT_FOUND);
    return nullptr;
  }
  h.addr_list.clear();
  for (std::uint32_t& a : h.addrs) h.addr_list.push_back(reinterpret_cast<char*>(&a));
  h.addr_list.push_back(nullptr);
  h.entry.h_name = h.name.data();
  h.entry.h_aliases = h.aliases;
  h.entry.h_addrtype = AF_INET;
  h.entry.h_length = sizeof(std::uint32_t);
  h.entry.h_addr_list = h.addr_list.data();
  return &h.entry;
}

ULONG inet_addr(const char* cp) {
  std::uint32_t addr = 0;
  if (cp == nullptr || !plat::net::ParseIPv4(cp, &addr)) return INADDR_NONE;
  return addr;
}
