// EFI_STATUS values as the trace and the board file name them.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace boardsim {

using Status = uint64_t;
inline constexpr Status kErrorBit = 1ULL << 63;
constexpr bool IsError(Status s) {
  return (s & kErrorBit) != 0;
}

// "EFI_NOT_FOUND"; an unnamed value prints as its hex form.
std::string StatusName(Status status);
std::optional<Status> StatusFromName(std::string_view name);

} // namespace boardsim
