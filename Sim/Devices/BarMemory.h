// The memory behind a function's BAR0: device registers that keep what is written and read 0
// where nothing was ever placed. Stored sparsely, in 256-byte pages, since a NIC's window is
// large and almost empty: a boot places and writes a few registers, and zeroes only their pages.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <unordered_map>

namespace boardsim {

inline constexpr uint32_t kBarWindowSize = 32u << 20;

class BarMemory {
public:
  uint8_t ReadByte(uint32_t offset) const;
  void WriteByte(uint32_t offset, uint8_t value);
  void Place(uint32_t offset, std::span<const uint8_t> bytes);

private:
  static constexpr uint32_t kPageShift = 8;
  using Page = std::array<uint8_t, 1u << kPageShift>;
  std::unordered_map<uint32_t, Page> pages_;
};

} // namespace boardsim
