// Request images built with the protocol records, and received frames read through CCMView,
// for the simulator's test client. Pure functions; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "test_client.h"

namespace ccmsim::testing {

Bytes AdministrativeImage(MsgType type, const std::string& extension, const std::string& password);
Bytes CallControlImage(MsgType type, const std::string& extension, uint16_t line, uint32_t request_id,
                       const std::string& digits);
Bytes PhoneQueryImage(const std::string& extension, uint32_t operations);
// The Length field of a frame's first four bytes.
size_t FrameLength(const uint8_t* head);

}  // namespace ccmsim::testing
