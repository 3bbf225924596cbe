#include "Core/Status.h"

#include <array>
#include <cstdio>

namespace boardsim {
namespace {

struct NamedStatus {
  Status value;
  const char *name;
};

constexpr Status Err(uint64_t code) {
  return kErrorBit | code;
}

// UEFI 2.10 appendix D.
constexpr std::array kStatuses = {
    NamedStatus{0, "EFI_SUCCESS"},
    NamedStatus{Err(1), "EFI_LOAD_ERROR"},
    NamedStatus{Err(2), "EFI_INVALID_PARAMETER"},
    NamedStatus{Err(3), "EFI_UNSUPPORTED"},
    NamedStatus{Err(4), "EFI_BAD_BUFFER_SIZE"},
    NamedStatus{Err(5), "EFI_BUFFER_TOO_SMALL"},
    NamedStatus{Err(6), "EFI_NOT_READY"},
    NamedStatus{Err(7), "EFI_DEVICE_ERROR"},
    NamedStatus{Err(8), "EFI_WRITE_PROTECTED"},
    NamedStatus{Err(9), "EFI_OUT_OF_RESOURCES"},
    NamedStatus{Err(10), "EFI_VOLUME_CORRUPTED"},
    NamedStatus{Err(11), "EFI_VOLUME_FULL"},
    NamedStatus{Err(12), "EFI_NO_MEDIA"},
    NamedStatus{Err(13), "EFI_MEDIA_CHANGED"},
    NamedStatus{Err(14), "EFI_NOT_FOUND"},
    NamedStatus{Err(15), "EFI_ACCESS_DENIED"},
    NamedStatus{Err(16), "EFI_NO_RESPONSE"},
    NamedStatus{Err(17), "EFI_NO_MAPPING"},
    NamedStatus{Err(18), "EFI_TIMEOUT"},
    NamedStatus{Err(19), "EFI_NOT_STARTED"},
    NamedStatus{Err(20), "EFI_ALREADY_STARTED"},
    NamedStatus{Err(21), "EFI_ABORTED"},
    NamedStatus{Err(22), "EFI_ICMP_ERROR"},
    NamedStatus{Err(23), "EFI_TFTP_ERROR"},
    NamedStatus{Err(24), "EFI_PROTOCOL_ERROR"},
    NamedStatus{Err(25), "EFI_INCOMPATIBLE_VERSION"},
    NamedStatus{Err(26), "EFI_SECURITY_VIOLATION"},
    NamedStatus{Err(27), "EFI_CRC_ERROR"},
    NamedStatus{Err(28), "EFI_END_OF_MEDIA"},
    NamedStatus{Err(31), "EFI_END_OF_FILE"},
    NamedStatus{Err(32), "EFI_INVALID_LANGUAGE"},
    NamedStatus{Err(33), "EFI_COMPROMISED_DATA"},
    NamedStatus{1, "EFI_WARN_UNKNOWN_GLYPH"},
    NamedStatus{2, "EFI_WARN_DELETE_FAILURE"},
    NamedStatus{3, "EFI_WARN_WRITE_FAILURE"},
    NamedStatus{4, "EFI_WARN_BUFFER_TOO_SMALL"},
    NamedStatus{5, "EFI_WARN_STALE_DATA"},
};

} // namespace

std::string StatusName(Status status) {
  for (const auto &entry : kStatuses)
    if (entry.value == status)
      return entry.name;
  char text[24];
  std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(status));
  return text;
}

std::optional<Status> StatusFromName(std::string_view name) {
  for (const auto &entry : kStatuses)
    if (name == entry.name)
      return entry.value;
  return std::nullopt;
}

} // namespace boardsim
