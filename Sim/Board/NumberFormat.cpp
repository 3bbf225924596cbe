#include "Board/NumberFormat.h"

#include <cstdio>

namespace boardsim {

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

std::string AsWritten(uint64_t value, bool writtenInHex) {
  return writtenInHex && value != 0 ? Hex(value) : std::to_string(value);
}

std::string Bound(uint64_t value, bool writtenInHex) {
  return AsWritten(value, writtenInHex || value > 0xFFFF);
}

} // namespace boardsim
