// Values of a run in the form a board file writes them, for expectation failures: TOML inline
// tables and arrays, codes, addresses and register values in hex, MAC addresses with colons, PCD
// tokens by name.
#pragma once
#include "Core/Trace.h"

#include <string>
#include <string_view>

namespace boardsim {

// `value` as the board writes the key `field` (an object's members as their own keys; an array's
// items as `field`). null is "none".
std::string BoardValueText(const Json &value, std::string_view field = "");

// A PCD token (decimal string, as the final line keys it) as the board names it: its name, or
// the quoted number of a token the modules do not know.
std::string PcdKeyText(const std::string &token);

} // namespace boardsim
