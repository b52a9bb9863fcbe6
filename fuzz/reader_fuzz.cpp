// Fuzz target: the component's socket reader framing a byte stream that arrives in fragments.
// One loopback listener plays the server for the whole run. For each input an endpoint is
// made, connects (its reader thread starts) and registers extension 100, so that messages
// addressed to 100 are copied into its queue; then the server side writes the stream in the
// fragment sizes the input chooses and closes. The reader must end by itself at the end of the
// stream or at a frame it cannot take, and the endpoint's release must leave no reader behind.
//
// Input: byte 0 = number n of fragment sizes (mod 16), bytes 1..n = the sizes (0 counts as 1),
// used in turn; the rest is the stream. n = 0 sends the stream in one piece.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "Corvane.h"
#include "CvnEndPoint.h"
#include "CvnSocketReader.h"
#include "fuzz_support.h"
#include "loopback.h"
#include "plat/oleauto.h"

namespace {

constexpr int kWaitMs = 5000;

int g_listener = -1;

BSTR Narrow(const char* text) { return SysAllocStringByteLen(text, static_cast<UINT>(std::strlen(text))); }

ICvnEndPoint* MakeEndPoint() {
  void* pv = nullptr;
  KIVFUZZ_CHECK(SUCCEEDED(CvnEndPoint::CreateInstance(IID_ICvnEndPoint, &pv)));
  return static_cast<ICvnEndPoint*>(pv);
}

// Sends the stream in the chosen fragments; stops early when the reader has shut its side.
void SendFragments(int fd, const std::vector<size_t>& sizes, const uint8_t* data, size_t size) {
  size_t sent = 0;
  for (size_t i = 0; sent < size; ++i) {
    const size_t chunk = sizes.empty() ? size - sent : std::min(sizes[i % sizes.size()], size - sent);
    const size_t n = kivfuzz::SendSome(fd, data + sent, chunk, kWaitMs);
    if (n == 0) return;
    sent += n;
  }
}

// The reader thread ends by itself after the end of the stream; it offers nothing to wait on,
// so its count is watched, within a bound.
void AwaitReaderEnd() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (CvnSocketReader::GetReaderThreadCount() != 0) {
    KIVFUZZ_CHECK(std::chrono::steady_clock::now() < deadline);
    std::this_thread::yield();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kivfuzz::UsePrivatePrefix();
  uint16_t port = 0;
  g_listener = kivfuzz::ListenLoopback(&port);
  ICvnEndPoint* endpoint = MakeEndPoint();
  BSTR address = Narrow("127.0.0.1");
  KIVFUZZ_CHECK(SUCCEEDED(endpoint->ConfigureServerA(address, port)));
  SysFreeString(address);
  endpoint->Release();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kivfuzz::ByteReader input(data, size);
  std::vector<size_t> sizes(input.Next() % 16);
  for (size_t& s : sizes) s = std::max<size_t>(input.Next(), 1);

  ICvnEndPoint* endpoint = MakeEndPoint();
  LONG event = -1;  // the endpoint's own event: nothing is posted to this thread
  KIVFUZZ_CHECK(SUCCEEDED(endpoint->ConnectToServer(&event)));
  const int fd = kivfuzz::AcceptWithin(g_listener, kWaitMs);
  BSTR extension = Narrow("100");
  BSTR password = Narrow("x");
  KIVFUZZ_CHECK(SUCCEEDED(endpoint->RegisterA(extension, password)));
  SysFreeString(extension);
  SysFreeString(password);

  SendFragments(fd, sizes, input.Rest(), input.RestSize());
  kivfuzz::ShutdownSend(fd);
  AwaitReaderEnd();
  // The registration request is still unread: drain it, so that closing sends no reset.
  endpoint->Release();
  kivfuzz::DrainAndClose(fd);
  KIVFUZZ_CHECK(CvnSocketReader::GetReaderThreadCount() == 0);
  return 0;
}
