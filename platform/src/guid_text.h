// The text form of a GUID, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", as the registry keys and
// the COM string functions use it. Internal to the platform; no state.
#pragma once

#include <string>
#include <string_view>

#include "plat/types.h"

namespace plat {

inline constexpr std::size_t kGuidTextLength = 38;  // without the terminating zero

// Upper-case hexadecimal, braced.
std::string GuidToText(const GUID& guid);

// Parses exactly the braced form (hexadecimal digits in either case); false for anything else.
bool ParseGuidText(std::string_view text, GUID* guid);

}  // namespace plat
