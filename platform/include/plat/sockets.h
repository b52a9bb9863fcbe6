// The Winsock names the component uses, over POSIX stream sockets: SOCKET is the descriptor,
// results and errors as on Windows (SOCKET_ERROR and WSAGetLastError), IPv4 only.
// Do not include POSIX socket headers in the same file: the names are the same, the types are
// not. All functions may be called from any thread; gethostbyname's result is per thread.
#pragma once

#include <bit>
#include <cstdint>

#include "plat/types.h"

using SOCKET = UINT_PTR;
inline constexpr SOCKET INVALID_SOCKET = ~static_cast<SOCKET>(0);
inline constexpr int SOCKET_ERROR = -1;

inline constexpr int AF_INET = 2;
inline constexpr int PF_INET = AF_INET;
inline constexpr int SOCK_STREAM = 1;
inline constexpr int IPPROTO_TCP = 6;
inline constexpr int SOL_SOCKET = 0xFFFF;
inline constexpr int SO_REUSEADDR = 0x0004;
inline constexpr int SO_LINGER = 0x0080;
inline constexpr int TCP_NODELAY = 0x0001;
inline constexpr int SOMAXCONN = 0x7FFFFFFF;
inline constexpr int MSG_OOB = 0x1;
inline constexpr int MSG_PEEK = 0x2;
inline constexpr int MSG_WAITALL = 0x8;
inline constexpr int SD_RECEIVE = 0;
inline constexpr int SD_SEND = 1;
inline constexpr int SD_BOTH = 2;
inline constexpr std::uint32_t INADDR_ANY = 0;
inline constexpr std::uint32_t INADDR_NONE = 0xFFFFFFFFu;
inline constexpr std::uint32_t INADDR_LOOPBACK = 0x7F000001u;

// Error codes reported by WSAGetLastError.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSAVERNOTSUPPORTED = 10092;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSASYSCALLFAILURE = 10107;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSANO_DATA = 11004;

// Address records in the layout the socket layer uses (16 bytes for sockaddr and sockaddr_in).
struct in_addr {
  std::uint32_t s_addr;  // network byte order
};

struct sockaddr {
  USHORT sa_family;
  char sa_data[14];
};

struct sockaddr_in {
  SHORT sin_family;
  USHORT sin_port;  // network byte order
  in_addr sin_addr;
  char sin_zero[8];
};

struct linger {
  USHORT l_onoff;
  USHORT l_linger;  // seconds
};

struct hostent {
  char* h_name;
  char** h_aliases;
  SHORT h_addrtype;
  SHORT h_length;
  char** h_addr_list;  // null-terminated list of h_length-byte addresses, network byte order
};
#define h_addr h_addr_list[0]

inline constexpr WORD MAKEWORD(BYTE low, BYTE high) {
  return static_cast<WORD>(low | (static_cast<WORD>(high) << 8));
}

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
  USHORT iMaxSockets;
  USHORT iMaxUdpDg;
  char* lpVendorInfo;
};
using LPWSADATA = WSADATA*;

// Byte order helpers.
inline constexpr USHORT htons(USHORT v) {
  return std::endian::native == std::endian::little ? __builtin_bswap16(v) : v;
}
inline constexpr USHORT ntohs(USHORT v) { return htons(v); }
inline constexpr ULONG htonl(ULONG v) {
  return std::endian::native == std::endian::little ? __builtin_bswap32(v) : v;
}
inline constexpr ULONG ntohl(ULONG v) { return htonl(v); }

// Start-up and clean-up are counted; sockets work whether or not they were called.
WINPLAT_API int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
WINPLAT_API int WSACleanup();
WINPLAT_API int WSAGetLastError();

WINPLAT_API SOCKET socket(int af, int type, int protocol);
WINPLAT_API int connect(SOCKET s, const sockaddr* name, int namelen);
WINPLAT_API int bind(SOCKET s, const sockaddr* name, int namelen);
WINPLAT_API int listen(SOCKET s, int backlog);
WINPLAT_API SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen);
WINPLAT_API int getsockname(SOCKET s, sockaddr* name, int* namelen);
// send never raises SIGPIPE: writing to a connection the peer has closed fails with
// WSAECONNRESET. Both return the byte count (recv: 0 when the peer has closed) or SOCKET_ERROR.
WINPLAT_API int send(SOCKET s, const char* buf, int len, int flags);
WINPLAT_API int recv(SOCKET s, char* buf, int len, int flags);
WINPLAT_API int shutdown(SOCKET s, int how);
WINPLAT_API int closesocket(SOCKET s);
// SOL_SOCKET with SO_LINGER (a linger record) or SO_REUSEADDR, IPPROTO_TCP with TCP_NODELAY.
WINPLAT_API int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);

// IPv4 addresses of a host name or dotted text, resolved with getaddrinfo; the record stays
// valid until the same thread calls gethostbyname again. Null (with WSAHOST_NOT_FOUND) when
// the name has no IPv4 address.
WINPLAT_API hostent* gethostbyname(const char* name);
// Dotted IPv4 text to an address in network byte order; INADDR_NONE when it is not one.
WINPLAT_API ULONG inet_addr(const char* cp);
