// Server: one poll() loop thread over the listening socket, the client connections, a wake-up
// pipe, the model's timers and the queue of delayed messages. Everything below Loop's mutex_ is
// touched only with it held; the loop thread drops it only while it waits in poll().
#include "ccmsim/server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "codec.h"

namespace ccmsim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxConnections = 256;
constexpr size_t kReadChunk = 4096;

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

Result<GarbageKind> ParseGarbageKind(const std::string& kind) {
  if (kind == "magic") return GarbageKind::kBadMagic;
  if (kind == "short") return GarbageKind::kShortLength;
  if (kind == "long") return GarbageKind::kLongLength;
  if (kind == "type") return GarbageKind::kUnknownType;
  if (kind == "truncated") return GarbageKind::kTruncated;
  return Status::Error("unknown garbage kind '" + kind + "' (" + GarbageKindsHelp() + ")");
}

std::string Describe(const Event& e) {
  std::string text = e.extension + " " + MessageName(Code(e.type));
  if (Category(e.type) == 0x0300) {
    text += " line " + std::to_string(e.line);
    if (e.request_id != 0) text += " id " + std::to_string(e.request_id);
    if (!e.address.empty()) text += " addr " + e.address;
    if (!e.name.empty()) text += " \"" + e.name + "\"";
    if (e.dtmf != 0) text += " dtmf " + std::string(1, static_cast<char>(e.dtmf));
  }
  return text + " status " + std::to_string(static_cast<int>(e.status));
}

std::string Describe(const Request& r) {
  std::string text = r.extension + " " + MessageName(Code(r.type));
  if (Category(r.type) == 0x0200) {
    text += " line " + std::to_string(r.line);
    if (r.request_id != 0) text += " id " + std::to_string(r.request_id);
    if (!r.digits.empty()) text += " digits " + r.digits;
  }
  return text;
}

}  // namespace

const char* GarbageKindsHelp() { return "magic, short, long, type or truncated"; }

class Server::Loop : public PbxSink {
 public:
  explicit Loop(ServerOptions options)
      : options_(std::move(options)), pbx_(options_.directory, *this) {}
  ~Loop() override { Stop(); }

  Status Start() {
    std::lock_guard lock(mutex_);
    if (thread_.joinable()) return Status::Error("already started");
    if (options_.host != "127.0.0.1" && options_.host != "localhost") {
      return Status::Error("the simulator listens on 127.0.0.1 (or localhost) only, not " + options_.host);
    }
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0) return Status::Error("socket: " + std::string(strerror(errno)));
    const int one = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(options_.port);
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_fd_, 64) != 0) {
      const std::string error = strerror(errno);
      CloseFd(listen_fd_);
      return Status::Error("cannot listen on 127.0.0.1:" + std::to_string(options_.port) + ": " + error);
    }
    socklen_t length = sizeof address;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_NONBLOCK | O_CLOEXEC) != 0) {
      CloseFd(listen_fd_);
      return Status::Error("pipe: " + std::string(strerror(errno)));
    }
    wake_read_ = pipe_fds[0];
    wake_write_ = pipe_fds[1];
    running_ = true;
    thread_ = std::thread([this] { Run(); });
    return Status::Ok();
  }

  void Stop() {
    {
      std::lock_guard lock(mutex_);
      if (!running_) return;
      ShutdownLocked();
      running_ = false;
      Wake();
    }
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    CloseFd(listen_fd_);
    CloseFd(wake_read_);
    CloseFd(wake_write_);
    Changed();
  }

  uint16_t Port() const {
    std::lock_guard lock(mutex_);
    return port_;
  }

  // Runs an operation of the model under the lock and lets the loop send what it produced.
  Status WithPbx(const std::function<Status(Pbx&)>& operation) {
    std::lock_guard lock(mutex_);
    Status status = operation(pbx_);
    Changed();
    return status;
  }

  Status Mute(const std::string& extension, bool mute) {
    std::lock_guard lock(mutex_);
    if (pbx_.directory().Find(extension) == nullptr) return Status::Error("extension " + extension + " is not in the directory");
    if (mute) {
      muted_.insert(extension);
    } else if (muted_.erase(extension) != 0) {
      std::deque<Outgoing> held;
      held.swap(withheld_[extension]);
      withheld_.erase(extension);
      for (Outgoing& out : held) Dispatch(std::move(out));
    }
    Changed();
    return Status::Ok();
  }

  void SetDelay(int delay_ms) {
    std::lock_guard lock(mutex_);
    delay_ms_ = std::max(0, delay_ms);
    Changed();
  }

  void DropConnections() {
    std::lock_guard lock(mutex_);
    CloseAll(false);
    Changed();
  }

  Status SendGarbage(const std::string& extension, const std::string& kind_name) {
    Result<GarbageKind> kind = ParseGarbageKind(kind_name);
    if (!kind.ok()) return kind.status();
    std::lock_guard lock(mutex_);
    auto it = connections_.find(pbx_.OwnerOf(extension));
    if (it == connections_.end()) return Status::Error("extension " + extension + " is not registered");
    Bytes bytes = MakeGarbage(kind.value(), extension);
    Connection& connection = it->second;
    connection.output.insert(connection.output.end(), bytes.begin(), bytes.end());
    Trace("-> " + extension + " garbage (" + kind_name + ")");
    if (kind.value() == GarbageKind::kTruncated) {
      // The rest of the frame never comes: the connection ends after the first part.
      Close(connection.id, "closed by the simulator after a truncated frame", true);
    }
    Changed();
    return Status::Ok();
  }

  void Shutdown() {
    std::lock_guard lock(mutex_);
    ShutdownLocked();
    Changed();
  }

  std::vector<std::string> StatusLines() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> lines;
    lines.push_back("listening on 127.0.0.1:" + std::to_string(port_) + ", " + std::to_string(connections_.size()) +
                    " connection(s)");
    if (delay_ms_ > 0) lines.push_back("delay " + std::to_string(delay_ms_) + " ms");
    for (const std::string& extension : muted_) {
      lines.push_back("muted " + extension + " (" + std::to_string(withheld_.count(extension) ? withheld_.at(extension).size() : 0) +
                      " withheld)");
    }
    std::vector<std::string> model = pbx_.Describe();
    lines.insert(lines.end(), model.begin(), model.end());
    return lines;
  }

  template <typename F>
  auto Read(F f) const {
    std::lock_guard lock(mutex_);
    return f(pbx_);
  }

  size_t ConnectionCount() const {
    std::lock_guard lock(mutex_);
    return connections_.size();
  }

  int Count(const std::map<std::pair<std::string, uint16_t>, int>& counts, const std::string& extension,
            MsgType type) const {
    std::lock_guard lock(mutex_);
    auto it = counts.find({extension, Code(type)});
    return it == counts.end() ? 0 : it->second;
  }
  int SentCount(const std::string& extension, MsgType type) const { return Count(sent_, extension, type); }
  int ReceivedCount(const std::string& extension, MsgType type) const { return Count(received_, extension, type); }
  int BadFrameCount() const {
    std::lock_guard lock(mutex_);
    return bad_frames_;
  }

  bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    std::unique_lock lock(mutex_);
    for (;;) {
      const uint64_t seen = generation_;
      lock.unlock();
      if (condition()) return true;
      lock.lock();
      if (!changed_.wait_until(lock, deadline, [&] { return generation_ != seen; })) {
        lock.unlock();
        return condition();
      }
    }
  }

  // PbxSink: called with the lock held (the model runs only under it).
  void Deliver(ConnectionId to, const Event& event) override {
    if (to == kNoConnection) {
      ++sent_[{event.extension, Code(event.type)}];
      Trace("-> " + Describe(event) + " (virtual)");
      return;
    }
    Outgoing out{Clock::now(), to, event.extension, Code(event.type), EncodeEvent(event), Describe(event)};
    if (muted_.count(event.extension) != 0) {
      withheld_[event.extension].push_back(std::move(out));
      return;
    }
    Dispatch(std::move(out));
  }

  void StartTimer(int delay_ms, const TimerTask& task) override {
    timers_.emplace(Clock::now() + std::chrono::milliseconds(delay_ms), task);
  }

 private:
  struct Connection {
    ConnectionId id = kNoConnection;
    int fd = -1;
    Bytes input;
    Bytes output;
  };
  struct Outgoing {
    Clock::time_point due;
    ConnectionId to;
    std::string extension;
    uint16_t type;
    Bytes bytes;
    std::string description;
  };

  void Run() {
    std::unique_lock lock(mutex_);
    while (running_) {
      std::vector<pollfd> fds = {{wake_read_, POLLIN, 0}, {listen_fd_, POLLIN, 0}};
      std::vector<ConnectionId> ids = {kNoConnection, kNoConnection};
      for (const auto& [id, connection] : connections_) {
        fds.push_back({connection.fd, static_cast<short>(POLLIN | (connection.output.empty() ? 0 : POLLOUT)), 0});
        ids.push_back(id);
      }
      const int timeout = NextTimeoutMs();
      lock.unlock();
      ::poll(fds.data(), fds.size(), timeout);
      lock.lock();
      if (!running_) break;
      if (fds[0].revents & POLLIN) {
        char drain[64];
        while (::read(wake_read_, drain, sizeof drain) > 0) {
        }
      }
      if (fds[1].revents & POLLIN) Accept();
      for (size_t i = 2; i < fds.size(); ++i) {
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) ReadFrom(ids[i]);
      }
      RunDue();
      WriteAll();
      Changed();
    }
  }

  int NextTimeoutMs() const {
    std::optional<Clock::time_point> next;
    if (!timers_.empty()) next = timers_.begin()->first;
    if (!delayed_.empty()) next = next ? std::min(*next, delayed_.front().due) : delayed_.front().due;
    if (!next) return -1;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, 60000));
  }

  void Accept() {
    for (;;) {
      const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      if (connections_.size() >= kMaxConnections) {
        ::close(fd);
        continue;
      }
      const int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      const ConnectionId id = next_connection_++;
      connections_[id] = Connection{id, fd, {}, {}};
      Trace("connection " + std::to_string(id) + " opened");
    }
  }

  void ReadFrom(ConnectionId id) {
    auto it = connections_.find(id);
    if (it == connections_.end()) return;
    Connection& connection = it->second;
    uint8_t chunk[kReadChunk];
    for (;;) {
      const ssize_t n = ::recv(connection.fd, chunk, sizeof chunk, 0);
      if (n > 0) {
        connection.input.insert(connection.input.end(), chunk, chunk + n);
        if (!ProcessInput(id)) return;  // closed
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
      // End of stream or error; a frame cut short counts as a bad one.
      if (!connection.input.empty()) ++bad_frames_;
      Close(id, connection.input.empty() ? "closed by the client" : "closed: truncated frame");
      return;
    }
  }

  // Takes every complete frame out of the input; false when the connection was closed.
  bool ProcessInput(ConnectionId id) {
    size_t used = 0;
    for (;;) {
      Connection& connection = connections_.at(id);
      const Bytes& input = connection.input;
      if (input.size() - used < kFrameHeadBytes) break;
      const FrameHeader header = ReadFrameHeader(input.data() + used);
      if (!header.valid) {
        ++bad_frames_;
        Close(id, "closed: bad frame header");
        return false;
      }
      if (input.size() - used < header.length) break;
      const Bytes frame(input.begin() + static_cast<long>(used), input.begin() + static_cast<long>(used + header.length));
      used += header.length;
      HandleFrame(id, frame);
      if (connections_.count(id) == 0) return false;
    }
    Bytes& input = connections_.at(id).input;
    input.erase(input.begin(), input.begin() + static_cast<long>(used));
    return true;
  }

  void HandleFrame(ConnectionId id, const Bytes& frame) {
    std::optional<Request> request = DecodeRequest(frame.data(), frame.size());
    if (!request) {
      Trace("<- connection " + std::to_string(id) + ": frame of " + std::to_string(frame.size()) + " bytes ignored");
      return;
    }
    ++received_[{request->extension, Code(request->type)}];
    Trace("<- " + Describe(*request));
    pbx_.HandleRequest(id, *request);
  }

  void RunDue() {
    const auto now = Clock::now();
    while (!timers_.empty() && timers_.begin()->first <= now) {
      const TimerTask task = timers_.begin()->second;
      timers_.erase(timers_.begin());
      pbx_.HandleTimer(task);
    }
    while (!delayed_.empty() && delayed_.front().due <= now) {
      Outgoing out = std::move(delayed_.front());
      delayed_.pop_front();
      Enqueue(out);
    }
  }

  // Sends now, or after the delay; a message never overtakes one delayed before it.
  void Dispatch(Outgoing out) {
    if (delay_ms_ == 0 && delayed_.empty()) return Enqueue(out);
    out.due = std::max(Clock::now() + std::chrono::milliseconds(delay_ms_),
                       delayed_.empty() ? Clock::time_point{} : delayed_.back().due);
    delayed_.push_back(std::move(out));
  }

  void Enqueue(const Outgoing& out) {
    auto it = connections_.find(out.to);
    if (it == connections_.end()) return;  // the connection has gone meanwhile
    it->second.output.insert(it->second.output.end(), out.bytes.begin(), out.bytes.end());
    ++sent_[{out.extension, out.type}];
    Trace("-> " + out.description);
  }

  void WriteAll() {
    std::vector<ConnectionId> failed;
    for (auto& [id, connection] : connections_) {
      if (!Write(connection)) failed.push_back(id);
    }
    for (ConnectionId id : failed) Close(id, "closed: write failed");
  }

  // False when the connection failed.
  static bool Write(Connection& connection) {
    while (!connection.output.empty()) {
      const ssize_t n = ::send(connection.fd, connection.output.data(), connection.output.size(), MSG_NOSIGNAL);
      if (n > 0) {
        connection.output.erase(connection.output.begin(), connection.output.begin() + n);
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return true;
      } else {
        return false;
      }
    }
    return true;
  }

  // Closes a connection and releases its extensions.
  void Close(ConnectionId id, const std::string& why, bool flush = false) {
    CloseSocket(id, why, flush);
    pbx_.ReleaseConnection(id);
  }

  // Closes the socket (after sending what is queued, as far as the socket takes it, when asked)
  // without telling the model.
  void CloseSocket(ConnectionId id, const std::string& why, bool flush) {
    auto it = connections_.find(id);
    if (it == connections_.end()) return;
    Connection& connection = it->second;
    if (flush) {
      Write(connection);
      // Unread input would make the close a reset, which may discard what was just sent.
      ::shutdown(connection.fd, SHUT_WR);
      uint8_t drain[kReadChunk];
      while (::recv(connection.fd, drain, sizeof drain, 0) > 0) {
      }
    }
    CloseFd(connection.fd);
    connections_.erase(it);
    Trace("connection " + std::to_string(id) + " " + why);
  }

  // Every socket is closed before the model releases any extension, so that nothing it says
  // about the released calls goes out on a connection that is closing.
  void CloseAll(bool flush) {
    std::vector<ConnectionId> ids;
    for (const auto& [id, connection] : connections_) ids.push_back(id);
    for (ConnectionId id : ids) CloseSocket(id, "closed by the simulator", flush);
    for (ConnectionId id : ids) pbx_.ReleaseConnection(id);
  }

  void ShutdownLocked() {
    // Whatever waits for its delay leaves first, then the notices.
    while (!delayed_.empty()) {
      Enqueue(delayed_.front());
      delayed_.pop_front();
    }
    for (const std::string& extension : pbx_.RegisteredExtensions()) {
      Event notice;
      notice.type = MsgType::kShutdown;
      notice.extension = extension;
      Outgoing out{Clock::now(), pbx_.OwnerOf(extension), extension, Code(notice.type), EncodeEvent(notice),
                   Describe(notice)};
      if (muted_.count(extension) == 0) Enqueue(out);
    }
    CloseAll(true);
  }

  void Trace(const std::string& line) {
    if (options_.trace) options_.trace(line);
  }

  void Wake() {
    const char byte = 1;
    if (wake_write_ >= 0) [[maybe_unused]] auto ignored = ::write(wake_write_, &byte, 1);
  }

  void Changed() {
    ++generation_;
    changed_.notify_all();
    Wake();
  }

  ServerOptions options_;
  std::thread thread_;

  // State below is protected by mutex_.
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  uint64_t generation_ = 0;
  bool running_ = false;
  int listen_fd_ = -1;
  int wake_read_ = -1;
  int wake_write_ = -1;
  uint16_t port_ = 0;
  Pbx pbx_;
  std::map<ConnectionId, Connection> connections_;
  ConnectionId next_connection_ = 1;
  std::multimap<Clock::time_point, TimerTask> timers_;
  std::deque<Outgoing> delayed_;
  int delay_ms_ = 0;
  std::set<std::string> muted_;
  std::map<std::string, std::deque<Outgoing>> withheld_;
  std::map<std::pair<std::string, uint16_t>, int> sent_;
  std::map<std::pair<std::string, uint16_t>, int> received_;
  int bad_frames_ = 0;
};

// ---------------------------------------------------------------------------------------------

Server::Server(ServerOptions options) : loop_(std::make_unique<Loop>(std::move(options))) {}
Server::~Server() { Stop(); }

Status Server::Start() { return loop_->Start(); }
uint16_t Server::Port() const { return loop_->Port(); }
void Server::Stop() { loop_->Stop(); }

Status Server::Call(const std::string& from, const std::string& to) {
  return loop_->WithPbx([&](Pbx& pbx) { return pbx.Call(from, to); });
}
Status Server::Answer(const std::string& extension) {
  return loop_->WithPbx([&](Pbx& pbx) { return pbx.Answer(extension); });
}
Status Server::Hangup(const std::string& extension) {
  return loop_->WithPbx([&](Pbx& pbx) { return pbx.Hangup(extension); });
}
Status Server::Digits(const std::string& extension, const std::string& digits) {
  return loop_->WithPbx([&](Pbx& pbx) { return pbx.Digits(extension, digits); });
}
Status Server::Lift(const std::string& extension, uint16_t line) {
  return loop_->WithPbx([&](Pbx& pbx) { return pbx.Lift(extension, line); });
}
Status Server::Press(const std::string& extension, const std::string& digits) {
  return loop_->WithPbx([&](Pbx& pbx) { return pbx.Press(extension, digits); });
}
Status Server::Hook(const std::string& extension, uint16_t line) {
  return loop_->WithPbx([&](Pbx& pbx) { return pbx.Hook(extension, line); });
}
Status Server::Refuse(const std::string& extension) {
  return loop_->WithPbx([&](Pbx& pbx) { return pbx.RefuseNextRegistration(extension); });
}
Status Server::Mute(const std::string& extension) { return loop_->Mute(extension, true); }
Status Server::Unmute(const std::string& extension) { return loop_->Mute(extension, false); }
void Server::SetDelay(int delay_ms) { loop_->SetDelay(delay_ms); }
void Server::DropConnections() { loop_->DropConnections(); }
Status Server::SendGarbage(const std::string& extension, const std::string& kind) {
  return loop_->SendGarbage(extension, kind);
}
void Server::Shutdown() { loop_->Shutdown(); }

std::vector<std::string> Server::StatusLines() const { return loop_->StatusLines(); }
bool Server::IsRegistered(const std::string& extension) const {
  return loop_->Read([&](const Pbx& pbx) { return pbx.IsRegistered(extension); });
}
size_t Server::ConnectionCount() const { return loop_->ConnectionCount(); }
LineState Server::GetLineState(const std::string& extension, uint16_t line) const {
  return loop_->Read([&](const Pbx& pbx) { return pbx.GetLineState(extension, line); });
}
int Server::SentCount(const std::string& extension, MsgType type) const { return loop_->SentCount(extension, type); }
int Server::ReceivedCount(const std::string& extension, MsgType type) const {
  return loop_->ReceivedCount(extension, type);
}
int Server::BadFrameCount() const { return loop_->BadFrameCount(); }
bool Server::WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) const {
  return loop_->WaitUntil(condition, timeout);
}
bool Server::WaitRegistered(const std::string& extension, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return IsRegistered(extension); }, timeout);
}

}  // namespace ccmsim
