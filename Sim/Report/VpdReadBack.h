// A VPD read as the trace shows it: the dwords a driver asked for through the capability's
// address register and what the data register gave back. The report uses it to say why a MAC
// address taken from VPD came back as zeros.
#pragma once
#include "Core/Trace.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace boardsim::report {

class VpdReadBack {
public:
  // One configuration access (a `pci_cfg` event) of the controller being read.
  void Follow(const Json &pciCfg);
  // Why the "V2" (`keyword` 1) or "V3" (`keyword` 2) address could not be taken from this VPD.
  std::string ZeroMacReason(int keyword) const;

private:
  static constexpr size_t kImageSize = 256;
  std::optional<uint64_t> addressRegister_;
  uint64_t pendingAddress_ = 0;
  bool waiting_ = false;
  std::array<uint8_t, kImageSize> image_{};
};

} // namespace boardsim::report
