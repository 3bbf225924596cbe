// The board's Setup variable written into a copy of a firmware variable store, so that the PEI
// phase finds it on the first boot (its read-only variable service only reads the store).
#pragma once
#include "Board/Board.h"

#include <cstdint>
#include <vector>

namespace qemuboard {

// The store: a firmware volume whose header is followed by an authenticated variable store
// (UEFI 2.10, 8.2, and the PI variable store layout). An absent Setup leaves it unchanged. Throws
// std::runtime_error for another layout or too little room.
std::vector<std::uint8_t> WithSetupVariable(std::vector<std::uint8_t> store,
                                            const boardsim::SetupVariable &setup);

} // namespace qemuboard
