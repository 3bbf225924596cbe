#include "Devices/BarMemory.h"

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

void BarMemory::Place(uint32_t offset, const std::vector<uint8_t> &bytes) {
  for (size_t i = 0; i < bytes.size(); ++i)
    WriteByte(offset + static_cast<uint32_t>(i), bytes[i]);
}

} // namespace boardsim
