// BAR0 bases for the functions the board gives none: 32 MiB windows from 0xC0000000 up to
// 0xEFFFFFFF, the PCI memory hole below the configuration window, clear of every base the board
// fixes itself and of memory-mapped UARTs.
#pragma once
#include "Board/Board.h"

#include <cstdint>
#include <vector>

namespace boardsim {

inline constexpr uint32_t kPciMemoryHoleBase = 0xC0000000;
inline constexpr uint32_t kPciMemoryHoleEnd = 0xF0000000; // the configuration window starts here

// One BAR0 value per entry of board.pci, in order. Bridges get none unless the board gives one,
// and 0 (no window) is left when the hole is full.
std::vector<uint32_t> AssignBar0(const Board &board);

} // namespace boardsim
