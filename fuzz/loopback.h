// POSIX loopback sockets for fuzz targets whose own headers bring in the platform's Winsock
// names (which clash with the system's socket headers): a listener on 127.0.0.1 and bounded
// sends on an accepted connection. Any failure other than the peer going away aborts.
// Plain functions over descriptors; one thread per descriptor.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kivfuzz {

// A listening socket on 127.0.0.1 at an ephemeral port; *port receives the port.
int ListenLoopback(uint16_t* port);
// Accepts one connection (TCP_NODELAY set), waiting at most timeout_ms.
int AcceptWithin(int listener, int timeout_ms);
// Sends size bytes in one send call after waiting at most timeout_ms for room; the count sent,
// or 0 when the peer has closed or reset the connection.
size_t SendSome(int fd, const uint8_t* data, size_t size, int timeout_ms);
// Ends the sending side (the peer reads the end of the stream).
void ShutdownSend(int fd);
// Reads whatever has arrived without waiting, so that closing sends no reset, then closes.
void DrainAndClose(int fd);

}  // namespace kivfuzz
