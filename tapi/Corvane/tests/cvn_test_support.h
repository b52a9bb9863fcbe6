// Helpers of the component's tests: a machine with the component registered and the server
// settings pointed at a test server, COM and BSTR holders, and a raw loopback server that
// records the frames it receives and sends whatever bytes a test gives it.
// The raw server's methods may be called from any thread; the rest belongs to the test thread.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "CCMLayout.h"
#include "CCMView.h"
#include "Corvane.h"
#include "kivtest/prefix.h"
#include "plat/oleauto.h"
#include "plat/registry.h"
#include "plat/sockets.h"
#include "plat/sync.h"

namespace cvntest {

using namespace std::chrono_literals;
constexpr auto kWait = 5s;
constexpr DWORD kWaitMs = 5000;

// An owned COM reference.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* p) : p_(p) {}
  ~ComPtr() { Reset(); }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  void Reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }
  T* Get() const { return p_; }
  T* Release() { return std::exchange(p_, nullptr); }
  T* operator->() const { return p_; }
  T** Out() {
    Reset();
    return &p_;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// An owned BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(BSTR b) : b_(b) {}
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  // Narrow text packed by byte length, as the A methods take it.
  static Bstr Narrow(const std::string& text) {
    return Bstr(SysAllocStringByteLen(text.data(), static_cast<UINT>(text.size())));
  }
  static Bstr Wide(const std::u16string& text) { return Bstr(SysAllocString(text.c_str())); }
  BSTR Get() const { return b_; }
  BSTR* Out() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  std::string NarrowText() const {
    return b_ == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(b_));
  }
  std::u16string WideText() const {
    return b_ == nullptr ? std::u16string() : std::u16string(b_, SysStringLen(b_));
  }
  UINT ByteLength() const { return SysStringByteLen(b_); }

 private:
  BSTR b_ = nullptr;
};

inline void SetServerValue(const char* name, const std::string& value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\KIV\\Corvane", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

inline std::optional<std::string> ServerValue(const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\KIV\\Corvane", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  char value[64] = {};
  DWORD size = sizeof value - 1;
  const LONG result = RegQueryValueExA(key, name, nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return std::nullopt;
  return std::string(value);
}

inline void PointAtServer(uint16_t port, const std::string& host = "127.0.0.1") {
  SetServerValue("ServerIPAddr", host);
  SetServerValue("ServerPortId", std::to_string(port));
}

// Registers build/lib/libCorvane.so with build/bin/regsvr, as an installation does.
inline void RegisterComponent() {
  const std::string command = (kivtest::BinDir() / "regsvr").string() + " " +
                              (kivtest::LibDir() / "libCorvane.so").string() + " >/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// A fresh machine with the component registered, and COM entered on the test thread
// (multithreaded apartment).
class ComponentMachine {
 public:
  ComponentMachine() {
    RegisterComponent();
    EXPECT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  }
  ~ComponentMachine() { CoUninitialize(); }
  ComponentMachine(const ComponentMachine&) = delete;
  ComponentMachine& operator=(const ComponentMachine&) = delete;

 private:
  kivtest::ScopedPrefix prefix_;
};

// An endpoint created by class id, as a client creates it.
inline ComPtr<ICvnEndPoint> CreateEndPoint() {
  void* pv = nullptr;
  const HRESULT hr =
      CoCreateInstance(CLSID_CvnEndPoint, nullptr, CLSCTX_INPROC_SERVER, IID_ICvnEndPoint, &pv);
  EXPECT_EQ(hr, S_OK);
  return ComPtr<ICvnEndPoint>(static_cast<ICvnEndPoint*>(pv));
}

// ConnectToServer(-1): event mode with the endpoint's own event, which is returned.
inline HANDLE ConnectWithOwnEvent(ICvnEndPoint* endpoint) {
  LONG event = -1;
  EXPECT_EQ(endpoint->ConnectToServer(&event), S_OK);
  EXPECT_NE(event, -1);
  EXPECT_NE(event, 0);
  return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(event));
}

// Waits (bounded) for the event, then retrieves one message.
inline ComPtr<IMsgInterpreter> WaitMessage(ICvnEndPoint* endpoint, HANDLE event) {
  ComPtr<IMsgInterpreter> message;
  if (WaitForSingleObject(event, kWaitMs) == WAIT_OBJECT_0) {
    endpoint->RetrieveMsg(message.Out());
  }
  return message;
}

// Polls a condition that no event announces, up to the bound.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = kWait) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

inline LONG MsgType(IMsgInterpreter* message) {
  LONG type = 0;
  if (message == nullptr || FAILED(message->GetMsgType(&type))) return -1;
  return type;
}

// A complete message of `length` bytes: the header with type and extension, the rest zero.
inline std::vector<BYTE> MakeFrame(WORD type, const std::string& extension, WORD length) {
  std::vector<BYTE> frame(length);
  CCMLayout::WriteWord(frame.data(), CCMLayout::MAGIC);
  CCMLayout::WriteWord(frame.data() + 2, length);
  CCMLayout::WriteWord(frame.data() + 4, type);
  CCMLayout::WriteWord(frame.data() + 6, CCMLayout::REVISION);
  CCMLayout::WriteText(frame.data(), CCMLayout::Extension, extension.c_str());
  return frame;
}

// A loopback server for one client connection at a time: records every complete frame it
// reads and sends what it is given.
class RawServer {
 public:
  RawServer() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    EXPECT_EQ(bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(listener_, 4), 0);
    int length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~RawServer() {
    shutdown(listener_, SD_BOTH);
    CloseConnection();
    thread_.join();
    closesocket(listener_);
  }
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  uint16_t Port() const { return port_; }

  // The next frame received (in arrival order), or nothing within the bound.
  std::optional<std::vector<BYTE>> NextFrame(std::chrono::milliseconds timeout = kWait) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return !frames_.empty(); })) {
      return std::nullopt;
    }
    std::vector<BYTE> frame = std::move(frames_.front());
    frames_.pop_front();
    return frame;
  }
  size_t PendingFrames() {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_.size();
  }
  // Connections accepted so far, and whether the current one has been closed by the client.
  bool WaitConnections(int count, std::chrono::milliseconds timeout = kWait) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return accepted_ >= count; });
  }
  bool WaitClientClosed(std::chrono::milliseconds timeout = kWait) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return client_closed_; });
  }
  int Accepted() {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
  }

  // Sends bytes to the current connection in pieces of `chunk` bytes (0: all at once).
  bool Send(const std::vector<BYTE>& bytes, size_t chunk = 0) {
    SOCKET connection = Connection();
    if (connection == INVALID_SOCKET) return false;
    const size_t step = chunk == 0 ? bytes.size() : chunk;
    for (size_t sent = 0; sent < bytes.size(); sent += step) {
      const int count = static_cast<int>(std::min(step, bytes.size() - sent));
      if (send(connection, reinterpret_cast<const char*>(bytes.data() + sent), count, 0) !=
          count) {
        return false;
      }
    }
    return true;
  }
  // Closes the current connection from the server's side.
  void CloseConnection() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (connection_ != INVALID_SOCKET) shutdown(connection_, SD_BOTH);
  }

 private:
  SOCKET Connection() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, kWait, [this] { return connection_ != INVALID_SOCKET; });
    return connection_;
  }

  // Accepts connections one after the other and reads frames from each until it ends.
  void Serve() {
    for (;;) {
      const SOCKET connection = accept(listener_, nullptr, nullptr);
      if (connection == INVALID_SOCKET) return;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        connection_ = connection;
        client_closed_ = false;
        ++accepted_;
      }
      changed_.notify_all();
      ReadFrames(connection);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        connection_ = INVALID_SOCKET;
        client_closed_ = true;
      }
      changed_.notify_all();
      closesocket(connection);
    }
  }

  void ReadFrames(SOCKET connection) {
    std::vector<BYTE> pending;
    char buffer[512];
    for (;;) {
      const int count = recv(connection, buffer, sizeof buffer, 0);
      if (count <= 0) return;
      pending.insert(pending.end(), buffer, buffer + count);
      while (pending.size() >= 4) {
        const size_t length = CCMLayout::ReadWord(pending.data() + 2);
        if (length < 4 || pending.size() < length) break;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          frames_.emplace_back(pending.begin(), pending.begin() + static_cast<long>(length));
        }
        changed_.notify_all();
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(length));
      }
    }
  }

  SOCKET listener_ = INVALID_SOCKET;
  uint16_t port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<BYTE>> frames_;
  SOCKET connection_ = INVALID_SOCKET;
  bool client_closed_ = false;
  int accepted_ = 0;
};

}  // namespace cvntest
