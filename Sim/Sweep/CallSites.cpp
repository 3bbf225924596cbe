#include "Core/Faults.h"
#include "Sweep/Sweep.h"

#include <map>

namespace boardsim {

// One of each class of error a caller must tell apart, and one warning (UEFI 2.10 appendix D).
std::vector<std::string> DefaultSweepStatuses() {
  return {
      "EFI_INVALID_PARAMETER", // the caller's arguments
      "EFI_UNSUPPORTED",       // the service cannot do it at all
      "EFI_BUFFER_TOO_SMALL",  // size negotiation
      "EFI_NOT_READY",         // try again later
      "EFI_DEVICE_ERROR",      // the hardware failed
      "EFI_OUT_OF_RESOURCES",  // memory or handles ran out
      "EFI_NOT_FOUND",         // what was asked for does not exist
      "EFI_ACCESS_DENIED",     // refused (protection, security)
      "EFI_WARN_STALE_DATA",   // performed, with a warning
  };
}

std::vector<std::string> AllSweepStatuses() {
  std::vector<std::string> all;
  for (Status code = 1; code <= 33; ++code)
    if (std::string name = StatusName(kErrorBit | code); name.rfind("EFI_", 0) == 0)
      all.push_back(name);
  for (Status code = 1; code <= 5; ++code)
    all.push_back(StatusName(code));
  return all;
}

std::vector<CallSite> CallSitesOf(const std::vector<CheckedCall> &calls) {
  std::vector<CallSite> sites;
  std::map<std::pair<std::string, std::string>, uint32_t> seen;
  for (const CheckedCall &call : calls) {
    if (call.image == "platform")
      continue;
    sites.push_back({call.call, call.image, ++seen[{call.call, call.image}], call.target});
  }
  return sites;
}

} // namespace boardsim
