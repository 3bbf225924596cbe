#include "Devices/VpdCapability.h"

namespace boardsim {
namespace {

constexpr uint32_t kAddressRegister = 2;
constexpr uint32_t kDataRegister = 4;
constexpr uint16_t kCompletionFlag = 0x8000;

} // namespace

VpdCapability::VpdCapability(uint32_t offset, std::vector<uint8_t> store, Timing timing)
    : offset_(offset), store_(std::move(store)), timing_(std::move(timing)) {}

bool VpdCapability::TouchesAddressRegister(uint32_t first, uint32_t size) const {
  const uint32_t address = offset_ + kAddressRegister;
  return first < address + 2 && address < first + size;
}

void VpdCapability::BeforeRead(uint8_t *config, uint32_t first, uint32_t size) {
  if (!pending_ || !TouchesAddressRegister(first, size) || !timing_.readyAfter)
    return;
  // The clock is asked only once enough reads have been seen.
  if (readsWhilePending_ >= *timing_.readyAfter &&
      (!timing_.clock || timing_.clock() - startedUs_ >= timing_.readyAfterUs)) {
    Complete(config);
  } else {
    ++readsWhilePending_;
  }
}

void VpdCapability::AfterWrite(const uint8_t *config, uint32_t first, uint32_t size) {
  if (!TouchesAddressRegister(first, size))
    return;
  const uint32_t at = offset_ + kAddressRegister;
  const uint16_t address = static_cast<uint16_t>(config[at] | config[at + 1] << 8);
  if (address & kCompletionFlag)
    return;
  pending_ = true;
  pendingAddress_ = address;
  readsWhilePending_ = 0;
  startedUs_ = timing_.clock ? timing_.clock() : 0;
}

void VpdCapability::Complete(uint8_t *config) {
  pending_ = false;
  config[offset_ + kAddressRegister + 1] |= kCompletionFlag >> 8;
  for (uint32_t i = 0; i < 4; ++i) {
    const uint32_t from = pendingAddress_ + i;
    config[offset_ + kDataRegister + i] = from < store_.size() ? store_[from] : 0;
  }
}

} // namespace boardsim
