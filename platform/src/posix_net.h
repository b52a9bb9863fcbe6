// The POSIX side of the Winsock surface (sockets.cpp), kept in its own file because the POSIX
// socket headers and the Winsock declarations cannot share one. Addresses are IPv4 numbers and
// ports in network byte order; results are >= 0 or -errno. Internal to the platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat::net {

int Socket(int family, int type, int protocol);
int Connect(int fd, std::uint32_t addr, std::uint16_t port);
int Bind(int fd, std::uint32_t addr, std::uint16_t port);
int Listen(int fd, int backlog);
int Accept(int fd, std::uint32_t* addr, std::uint16_t* port);
int LocalAddress(int fd, std::uint32_t* addr, std::uint16_t* port);
// Winsock flag bits (MSG_OOB 0x1, MSG_PEEK 0x2, MSG_WAITALL 0x8); send never raises SIGPIPE.
long Send(int fd, const void* buf, std::size_t len, int flags);
long Recv(int fd, void* buf, std::size_t len, int flags);
// how: 0 receive side (sends nothing to the peer; a blocked recv returns 0, a blocked accept
// fails), 1 send side, 2 both.
int Shutdown(int fd, int how);
int Close(int fd);
int SetLinger(int fd, bool on, int seconds);
int SetReuseAddress(int fd, bool on);
int SetNoDelay(int fd, bool on);

// IPv4 addresses of a name, with its canonical name; false when it has none.
bool Resolve(const char* name, std::vector<std::uint32_t>* addrs, std::string* canonical);
// Dotted IPv4 text; false when the text is not an address.
bool ParseIPv4(const char* text, std::uint32_t* addr);

}  // namespace plat::net
