// The 4 KiB configuration space of one PCI function. The standard 256 bytes are held in place;
// the extended space past them is held only once something is placed or written there, since
// almost every function leaves it all zero and a boot builds every function's space afresh.
#pragma once
#include <array>
#include <cstdint>
#include <memory>

namespace boardsim {

inline constexpr uint32_t kConfigSpaceSize = 0x1000;
inline constexpr uint32_t kStandardConfigSize = 0x100;

class ConfigSpace {
public:
  // `at` < kConfigSpaceSize.
  uint8_t Get(uint32_t at) const {
    return at < kStandardConfigSize ? standard_[at]
           : extended_              ? (*extended_)[at - kStandardConfigSize]
                                    : 0;
  }
  void Set(uint32_t at, uint8_t value) { *Writable(at, 1) = value; }

  // The bytes [offset, offset + size) in one piece, or nullptr when they straddle the standard
  // and the extended space, or lie in an extended space that holds nothing (all zero).
  const uint8_t *Readable(uint32_t offset, unsigned size) const;
  // As Readable, for writing: the extended space is taken on first use.
  uint8_t *Writable(uint32_t offset, unsigned size);

  // The standard space, where the header and the capability list lie.
  uint8_t *Standard() { return standard_.data(); }

private:
  using Extended = std::array<uint8_t, kConfigSpaceSize - kStandardConfigSize>;
  std::array<uint8_t, kStandardConfigSize> standard_{};
  std::unique_ptr<Extended> extended_;
};

} // namespace boardsim
