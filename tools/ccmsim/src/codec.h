// Codec between the simulator's Requests and Events and the protocol's wire records (CCMAD,
// CCMCC, CCMCS, CCMPC, CCMPR, read through CCMView), and the malformed frames the operator can
// send. Pure functions; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ccmsim/messages.h"

namespace ccmsim {

using Bytes = std::vector<uint8_t>;

// What the first four bytes of a frame say.
struct FrameHeader {
  bool valid = false;  // magic right, Length between the header size and the largest message
  size_t length = 0;
};
inline constexpr size_t kFrameHeadBytes = 4;
FrameHeader ReadFrameHeader(const uint8_t* data);

// A complete frame from a client. None when it is no request the simulator takes, or when it
// is shorter than the layout its category implies (nothing beyond the frame is read).
std::optional<Request> DecodeRequest(const uint8_t* data, size_t size);

// The wire image of an event addressed to event.extension.
Bytes EncodeEvent(const Event& event);

enum class GarbageKind { kBadMagic, kShortLength, kLongLength, kUnknownType, kTruncated };
// A frame that breaks the framing rules (or, for kUnknownType, carries a code nobody uses),
// addressed to the extension. kTruncated is the first part of a frame only.
Bytes MakeGarbage(GarbageKind kind, const std::string& extension);

// "BRIXO_CS_OFFHOOK", or the code in hex for a code without a protocol name.
std::string MessageName(uint16_t code);

}  // namespace ccmsim
