#include "StatusName.h"

namespace {

// Indexed by the status value; index 0 is success.
constexpr CONST CHAR8 *kWarningNames[] = {
    "Success",
    "Warning Unknown Glyph",
    "Warning Delete Failure",
    "Warning Write Failure",
    "Warning Buffer Too Small",
    "Warning Stale Data",
    "Warning File System",
    "Warning Reset Required",
};

// Indexed by the error code without its top bit, starting at code 1.
constexpr CONST CHAR8 *kErrorNames[] = {
    "Load Error",           "Invalid Parameter",  "Unsupported",
    "Bad Buffer Size",      "Buffer Too Small",   "Not Ready",
    "Device Error",         "Write Protected",    "Out of Resources",
    "Volume Corrupt",       "Volume Full",        "No Media",
    "Media changed",        "Not Found",          "Access Denied",
    "No Response",          "No mapping",         "Time out",
    "Not started",          "Already started",    "Aborted",
    "ICMP Error",           "TFTP Error",         "Protocol Error",
    "Incompatible Version", "Security Violation", "CRC Error",
    "End of Media",         "Reserved (29)",      "Reserved (30)",
    "End of File",          "Invalid Language",   "Compromised Data",
    "IP Address Conflict",  "HTTP Error",
};

constexpr UINTN kWarningCount = sizeof(kWarningNames) / sizeof(kWarningNames[0]);
constexpr UINTN kErrorCount = sizeof(kErrorNames) / sizeof(kErrorNames[0]);

} // namespace

CONST CHAR8 *StatusName(EFI_STATUS Status) {
  if (EFI_ERROR(Status)) {
    UINTN Code = Status & ~MAX_BIT;
    return Code >= 1 && Code <= kErrorCount ? kErrorNames[Code - 1] : nullptr;
  }
  return Status < kWarningCount ? kWarningNames[Status] : nullptr;
}
