#include "Devices/ConfigSpace.h"

namespace boardsim {

const uint8_t *ConfigSpace::Readable(uint32_t offset, unsigned size) const {
  if (offset + size <= kStandardConfigSize)
    return standard_.data() + offset;
  if (offset < kStandardConfigSize || !extended_)
    return nullptr;
  return extended_->data() + (offset - kStandardConfigSize);
}

uint8_t *ConfigSpace::Writable(uint32_t offset, unsigned size) {
  if (offset + size <= kStandardConfigSize)
    return standard_.data() + offset;
  if (offset < kStandardConfigSize)
    return nullptr;
  if (!extended_)
    extended_ = std::make_unique<Extended>(); // value-initialised: all zero
  return extended_->data() + (offset - kStandardConfigSize);
}

} // namespace boardsim
