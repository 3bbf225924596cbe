#include "Devices/BarMemory.h"

#include <algorithm>

namespace boardsim {

uint8_t BarMemory::ReadByte(uint32_t offset) const {
  auto page = pages_.find(offset >> kPageShift);
  return page == pages_.end() ? 0 : page->second[offset & ((1u << kPageShift) - 1)];
}

void BarMemory::WriteByte(uint32_t offset, uint8_t value) {
  // A new page is value-initialised: all zero.
  auto page = pages_.try_emplace(offset >> kPageShift).first;
  page->second[offset & ((1u << kPageShift) - 1)] = value;
}

void BarMemory::Place(uint32_t offset, std::span<const uint8_t> bytes) {
  constexpr uint32_t kPageSize = 1u << kPageShift;
  while (!bytes.empty()) {
    const uint32_t within = offset & (kPageSize - 1);
    const size_t count = std::min<size_t>(bytes.size(), kPageSize - within);
    Page &page = pages_.try_emplace(offset >> kPageShift).first->second;
    std::copy_n(bytes.begin(), count, page.begin() + within);
    bytes = bytes.subspan(count);
    offset += static_cast<uint32_t>(count);
  }
}

} // namespace boardsim
