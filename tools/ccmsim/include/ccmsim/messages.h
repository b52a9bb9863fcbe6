// What telephones send to the simulator (Request) and what it sends to them (Event), in a form
// independent of the wire; the codec turns them into records and back. The type codes are the
// protocol's. Plain values; no threading concerns.
#pragma once

#include <cstdint>
#include <string>

namespace ccmsim {

enum class MsgType : uint16_t {
  kRegistration = 0x0101,
  kRegReply = 0x0102,
  kUnregister = 0x0103,
  kUnregReply = 0x0104,
  kShutdown = 0x0105,

  kOffhook = 0x0201,
  kAnswer = 0x0202,
  kOnhook = 0x0203,
  kMakeCall = 0x0204,
  kDialDigits = 0x0205,
  kTransfer = 0x0206,
  kTransferEnd = 0x0207,
  kBlindTransfer = 0x0208,
  kConference = 0x0209,
  kAddToConf = 0x020A,
  kHold = 0x020B,
  kUnhold = 0x020C,
  kPark = 0x020D,
  kUnpark = 0x020E,
  kForward = 0x020F,
  kRedirect = 0x0210,
  kGroupPickup = 0x0211,
  kDirectedPickup = 0x0212,

  // Replies: the request's code with the category 0x03 (0x0201 -> 0x0301).
  kOffhookReply = 0x0301,
  kAnswerReply = 0x0302,
  kOnhookReply = 0x0303,
  kTransferReply = 0x0304,
  kTransferEndReply = 0x0305,
  kBlindTransferReply = 0x0306,
  kConferenceReply = 0x0307,
  kAddToConfReply = 0x0308,
  kHoldReply = 0x0309,
  kUnholdReply = 0x030A,
  kParkReply = 0x030B,
  kUnparkReply = 0x030C,
  kForwardReply = 0x030D,
  kRedirectReply = 0x030E,

  kNewCall = 0x0381,
  kRingBack = 0x0382,
  kConnected = 0x0383,
  kBusy = 0x0384,
  kOnhookLocal = 0x0385,
  kOnhookRemote = 0x0386,
  kDigitLocal = 0x0387,
  kDigitRemote = 0x0388,
  kStopDialtone = 0x0389,

  kPhoneQuery = 0x0401,
  kPhoneConfig = 0x0402,
  kPhoneQueryReply = 0x0501,
  kPhoneConfigReply = 0x0502,
};

inline constexpr uint16_t Code(MsgType type) { return static_cast<uint16_t>(type); }
inline constexpr uint16_t Category(MsgType type) { return Code(type) & 0xFF00; }

// The Status word of a reply: 0 on success, otherwise why the request was refused.
enum class ReplyStatus : uint16_t {
  kOk = 0,
  kUnknownExtension = 1,     // not in the directory, or a virtual telephone
  kWrongPassword = 2,
  kRegisteredElsewhere = 3,  // registered by another connection
  kRefused = 4,              // refused on the operator's order (fault injection)
  kNoFreeLine = 5,           // every line appearance is in use
  kInvalidLine = 6,          // no such line appearance, or not in a state for the request
  kConferenceNotPossible = 7,
  kNotRegistered = 8,        // the extension is not registered by this connection
  kNotSupported = 9,
  kInvalidNumber = 10,       // not a park orbit, orbit taken, or nothing parked there
};

// A request as a telephone sends it (or as the operator makes a telephone send it).
struct Request {
  MsgType type = MsgType::kOffhook;
  std::string extension;
  std::string password;  // registration
  uint32_t request_id = 0;
  uint16_t line = 0;
  std::string digits;    // dialled digits, orbit or pickup target
  uint32_t operations = 0;  // phone query or configuration
};

// A reply or an event for one telephone. Which fields travel depends on the category:
// administrative: status; call status: all but operations; phone reply: operations, status and
// the owner name (in name).
struct Event {
  MsgType type = MsgType::kRegReply;
  std::string extension;
  uint32_t request_id = 0;
  uint16_t line = 0;
  uint16_t second_line = 0;
  std::string address;  // the other party's number
  std::string name;     // the other party's name; the owner in a phone reply
  std::string dialled;
  uint16_t dtmf = 0;    // the digit's character code
  ReplyStatus status = ReplyStatus::kOk;
  uint32_t operations = 0;
};

}  // namespace ccmsim
