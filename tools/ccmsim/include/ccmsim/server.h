// Server: the simulated Call Control Manager as a TCP server on 127.0.0.1, for in-process tests
// and for the ccmsim program. One event-loop thread of its own serves every connection, runs
// the call model and its timers; the control and observation methods may be called from any
// thread (they take the server's lock).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ccmsim/directory.h"
#include "ccmsim/messages.h"
#include "ccmsim/pbx.h"
#include "ccmsim/status.h"

namespace ccmsim {

struct ServerOptions {
  // 127.0.0.1 or localhost only.
  std::string host = "127.0.0.1";
  // 0: an ephemeral port (read it back with Port()).
  uint16_t port = 0;
  Directory directory = Directory::Default();
  // Called, on the loop thread and under the server's lock, with one line per message that
  // arrives ("<- ...") or leaves ("-> ..."), and per connection opened or closed.
  std::function<void(const std::string&)> trace;
};

class Server {
 public:
  explicit Server(ServerOptions options = {});
  ~Server();  // Stop()
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds, listens and starts the loop thread.
  Status Start();
  uint16_t Port() const;
  // Announces shutdown (0x0105) to every registered extension, closes every connection and
  // ends the loop thread. Safe to call twice.
  void Stop();

  // What a person does at a telephone (see Pbx).
  Status Call(const std::string& from, const std::string& to);
  Status Answer(const std::string& extension);
  Status Hangup(const std::string& extension);
  Status Digits(const std::string& extension, const std::string& digits);
  Status Lift(const std::string& extension, uint16_t line = 0);
  Status Press(const std::string& extension, const std::string& digits);
  Status Hook(const std::string& extension, uint16_t line);

  // Fault injection.
  // The next registration of the extension is refused (Status 4).
  Status Refuse(const std::string& extension);
  // Withholds every message for the extension until Unmute, which sends them in order.
  Status Mute(const std::string& extension);
  Status Unmute(const std::string& extension);
  // Every message leaves this much later (0: at once); order is kept.
  void SetDelay(int delay_ms);
  // Closes every client connection; their extensions are released.
  void DropConnections();
  // Sends a malformed frame to the connection of a registered extension.
  Status SendGarbage(const std::string& extension, const std::string& kind = "magic");
  // Announces shutdown (0x0105) to every registered extension and closes every connection; the
  // server goes on listening, as a restarted call manager would.
  void Shutdown();

  // Observation.
  std::vector<std::string> StatusLines() const;
  bool IsRegistered(const std::string& extension) const;
  size_t ConnectionCount() const;
  LineState GetLineState(const std::string& extension, uint16_t line) const;
  // Messages of a type that went out for the extension (or, for a virtual telephone, that the
  // simulator played to it); a muted or delayed message counts once it leaves.
  int SentCount(const std::string& extension, MsgType type) const;
  // Complete requests of a type that arrived for the extension.
  int ReceivedCount(const std::string& extension, MsgType type) const;
  // Connections closed because of a frame that broke the framing rules.
  int BadFrameCount() const;
  // Polls `condition` (called without the server's lock) each time the server's state changes,
  // until it holds or the timeout passes; returns its last value.
  bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) const;
  bool WaitRegistered(const std::string& extension, std::chrono::milliseconds timeout) const;

 private:
  class Loop;
  std::unique_ptr<Loop> loop_;
};

// "magic", "short", "long", "type", "truncated": the garbage kinds SendGarbage knows.
const char* GarbageKindsHelp();

}  // namespace ccmsim
