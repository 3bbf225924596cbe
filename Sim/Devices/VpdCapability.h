// The Vital Product Data capability of a PCI function (PCI Local Bus Specification 3.0, 6.4):
// a 16-bit address register at capability + 2 whose bit 15 is the completion flag, and a 32-bit
// data register at capability + 4. Writing an address with the flag clear starts a read of the
// store; the flag reads 1, and the data register holds the four bytes from that address, only
// once the store has answered. The store is read-only here: an address written with the flag set
// starts nothing.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace boardsim {

inline constexpr uint8_t kVpdCapabilityId = 0x03;
inline constexpr uint32_t kVpdCapabilitySize = 8;

class VpdCapability {
public:
  // The store answers once both hold: `readyAfter` address-register reads have shown the flag
  // still clear (nullopt: the store never answers), and `readyAfterUs` of simulated time, read
  // from `clock`, have passed since the read started.
  struct Timing {
    std::optional<uint32_t> readyAfter;
    uint32_t readyAfterUs = 0;
    std::function<uint64_t()> clock;
  };
  VpdCapability(uint32_t offset, std::vector<uint8_t> store, Timing timing);

  uint32_t offset() const { return offset_; }
  // Config space calls these around an access of [first, first + size) of the function; `config`
  // is its standard configuration space (256 bytes), where the capability lies.
  void BeforeRead(uint8_t *config, uint32_t first, uint32_t size);
  void AfterWrite(const uint8_t *config, uint32_t first, uint32_t size);

private:
  bool TouchesAddressRegister(uint32_t first, uint32_t size) const;
  void Complete(uint8_t *config);

  uint32_t offset_;
  std::vector<uint8_t> store_;
  Timing timing_;
  bool pending_ = false;
  uint32_t pendingAddress_ = 0;
  uint32_t readsWhilePending_ = 0;
  uint64_t startedUs_ = 0;
};

} // namespace boardsim
