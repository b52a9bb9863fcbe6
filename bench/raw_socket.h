// Bare loopback sockets for the benchmarks, kept apart from the component's headers (whose
// socket names clash with the system's): a listener, a blocking sender, the bare reader that
// frames a stream and counts it, and an echo peer for ping-pong. Each function is used by one
// thread at a time per descriptor.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bench {

// Listens on 127.0.0.1 on an ephemeral port; returns the descriptor and sets *port.
int Listen(uint16_t* port);
int Accept(int listener);
int Connect(uint16_t port);
void Close(int fd);
bool SendAll(int fd, const void* data, size_t size);
bool ReceiveAll(int fd, void* data, size_t size);
// Reads in large chunks, frames by the Length word and counts, until `frames` have been seen.
// Returns the number of complete frames read (fewer when the stream ends first).
size_t ReadFrames(int fd, size_t frames);
// Discards whatever arrives until the peer closes.
void Discard(int fd);

}  // namespace bench
