// The board's SMRAM map: what EFI_SMM_ACCESS2_PROTOCOL.GetCapabilities reports, and where the
// simulator keeps SMRAM. The SMRAM at kSmramBase comes first, cut into touching descriptors at
// its split offsets, then the further ranges in the order the board gives them.
#pragma once
#include "Board/Board.h"

#include <cstdint>
#include <vector>

namespace boardsim {

struct SmramDescriptor {
  uint64_t base;
  uint64_t size;
  bool Contains(uint64_t address) const { return address >= base && address - base < size; }
};

std::vector<SmramDescriptor> SmramMap(const SmmConfig &smm);

} // namespace boardsim
