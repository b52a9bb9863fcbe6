// The telephone system the simulator plays: registrations, telephones with 12 line appearances
// (65 to 76), calls between telephones, virtual telephones that the simulator answers itself,
// hold, transfer, conference, park orbits and pickup. It knows nothing of sockets or bytes: it
// takes Requests and hands Events and timer wishes to a PbxSink.
// Not thread-safe: one thread (the server's loop) drives a Pbx and its sink.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ccmsim/directory.h"
#include "ccmsim/messages.h"
#include "ccmsim/status.h"

namespace ccmsim {

inline constexpr uint16_t kFirstLine = 65;
inline constexpr int kLineCount = 12;
inline constexpr uint16_t kLastLine = kFirstLine + kLineCount - 1;
// The most parties a conference bridge holds.
inline constexpr size_t kMaxConferenceParties = 6;

// Identifies a client connection; kNoConnection stands for the simulator itself (virtual
// telephones).
using ConnectionId = uint64_t;
inline constexpr ConnectionId kNoConnection = 0;

enum class LineState { kIdle, kDialTone, kRingBack, kRinging, kConnected, kHeld, kBusy };
const char* LineStateName(LineState state);

// Something a virtual telephone does later.
struct TimerTask {
  enum class Kind { kAnswer, kHangup };
  Kind kind = Kind::kAnswer;
  std::string extension;
  uint16_t line = 0;
  uint64_t call = 0;  // ignored unless the line still holds this call
};

class PbxSink {
 public:
  virtual ~PbxSink() = default;
  // An event for event.extension, to go out on connection `to` (kNoConnection: a virtual
  // telephone, nothing goes on the wire).
  virtual void Deliver(ConnectionId to, const Event& event) = 0;
  // Asks for HandleTimer(task) after delay_ms.
  virtual void StartTimer(int delay_ms, const TimerTask& task) = 0;
};

class Pbx {
 public:
  Pbx(Directory directory, PbxSink& sink);
  Pbx(const Pbx&) = delete;
  Pbx& operator=(const Pbx&) = delete;

  // A request that arrived on connection `from`.
  void HandleRequest(ConnectionId from, const Request& request);
  // The connection is gone: its extensions are unregistered and their calls cleared.
  void ReleaseConnection(ConnectionId connection);
  void HandleTimer(const TimerTask& task);

  // What a person does at a telephone (a registered one, or a virtual one); the telephone gets
  // the replies and events it would get had it sent the request itself (request id 0).
  // Off hook on a line (0: the lowest free one).
  Status Lift(const std::string& extension, uint16_t line = 0);
  // Dials on the line with dial tone, or sends the digits as tones on the connected call.
  Status Press(const std::string& extension, const std::string& digits);
  // On hook on a line.
  Status Hook(const std::string& extension, uint16_t line);
  // Off hook and dial.
  Status Call(const std::string& from, const std::string& to);
  // Answers the ringing line.
  Status Answer(const std::string& extension);
  // Hangs up the line in use (the connected one first).
  Status Hangup(const std::string& extension);
  // Sends tones on the connected call.
  Status Digits(const std::string& extension, const std::string& digits);

  // The next registration of the extension is refused.
  Status RefuseNextRegistration(const std::string& extension);

  // Observation.
  bool IsRegistered(const std::string& extension) const;
  // The connection that registered the extension; kNoConnection when none.
  ConnectionId OwnerOf(const std::string& extension) const;
  std::vector<std::string> RegisteredExtensions() const;
  LineState GetLineState(const std::string& extension, uint16_t line) const;
  size_t CallCount() const { return calls_.size(); }
  // Registrations, lines in use, calls and parked calls, one line each.
  std::vector<std::string> Describe() const;
  const Directory& directory() const { return directory_; }

 private:
  struct Line {
    LineState state = LineState::kIdle;
    uint64_t call = 0;
    // A line taken for a transfer or conference consultation, and the held line it serves.
    enum class Consult { kNone, kTransfer, kConference } consult = Consult::kNone;
    uint16_t primary = 0;
  };
  struct Telephone {
    const DirectoryEntry* entry = nullptr;
    ConnectionId owner = kNoConnection;
    bool registered = false;
    bool refuse_next = false;
    std::array<Line, kLineCount> lines;
  };
  struct Party {
    std::string extension;
    uint16_t line = 0;
    bool operator==(const Party&) const = default;
  };
  struct CallRecord {
    uint64_t id = 0;
    // While alerting: the caller, then the called telephone.
    std::vector<Party> parties;
    bool alerting = false;
    std::string dialled;
    std::string orbit;  // set while the one party waits in a park orbit
  };

  // Requests, after the sender's right to use the extension has been checked.
  void Register(ConnectionId from, const Request& request);
  void Unregister(ConnectionId from, const Request& request);
  void HandleTelephoneRequest(Telephone& phone, const Request& request);
  void OffHook(Telephone& phone, uint16_t line, uint32_t request_id);
  void Dial(Telephone& phone, uint16_t line, const std::string& digits);
  void AnswerLine(Telephone& phone, uint16_t line);
  void OnHook(Telephone& phone, uint16_t line);
  void HoldLine(Telephone& phone, uint16_t line, bool hold);
  void Transfer(Telephone& phone, uint32_t request_id);
  void TransferEnd(Telephone& phone, uint16_t line);
  void Conference(Telephone& phone, uint32_t request_id);
  void AddToConference(Telephone& phone, uint16_t line);
  void Park(Telephone& phone, uint16_t line, const std::string& digits);
  void Unpark(Telephone& phone, uint16_t line, const std::string& digits);
  void Pickup(Telephone& phone, uint16_t line, const std::string& target, bool directed);
  void SendTones(Telephone& phone, uint16_t line, const std::string& digits);

  // Call model helpers.
  void RingTelephone(Telephone& caller, uint16_t line, Telephone& callee, const std::string& dialled);
  void SetBusy(Telephone& phone, uint16_t line, const std::string& dialled);
  bool Retrieve(Telephone& phone, uint16_t line, const std::string& orbit);
  // Takes a party out of its call and frees its line; the others are told what they must know.
  void LeaveCall(const Party& party);
  void ClearTelephone(Telephone& phone);
  void FreeLine(const Party& party);
  void AnnounceConnected(const CallRecord& call);
  void StartHangupTimer(const Party& party, uint64_t call);

  // Lookups.
  Telephone* FindTelephone(const std::string& extension);
  const Telephone* FindTelephone(const std::string& extension) const;
  // The telephone a person may use: registered, or virtual.
  Result<Telephone*> UsableTelephone(const std::string& extension);
  Line& LineOf(const Party& party);
  // Changes a line's state and call; a consultation stays one.
  void SetLine(const Party& party, LineState state, uint64_t call);
  static Line* FindLine(Telephone& phone, uint16_t line);
  static uint16_t LowestLine(const Telephone& phone, LineState state);
  static bool IsIdle(const Telephone& phone);
  uint16_t ActiveLine(const Telephone& phone) const;

  // Output.
  void Send(const std::string& extension, Event event);
  void Reply(Telephone& phone, MsgType type, uint16_t line, ReplyStatus status, uint32_t request_id = 0,
             uint16_t second_line = 0);
  void SendCallEvent(const Party& to, MsgType type, const Party* other, const std::string& dialled = {});

  Directory directory_;
  PbxSink& sink_;
  std::map<std::string, Telephone> phones_;
  std::map<uint64_t, CallRecord> calls_;
  std::map<std::string, uint64_t> parked_;  // orbit -> call
  uint64_t next_call_ = 1;
};

}  // namespace ccmsim
