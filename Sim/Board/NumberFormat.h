// Numbers as error messages show them.
#pragma once

#include <cstdint>
#include <string>

namespace boardsim {

// "0x1F".
std::string Hex(uint64_t value);

// Hex when the user wrote hex, decimal otherwise, so a message echoes the board file.
std::string AsWritten(uint64_t value, bool writtenInHex);

// A range bound: as written, except that large bounds read better in hex.
std::string Bound(uint64_t value, bool writtenInHex);

} // namespace boardsim
