// Checks of a whole board that no single key shows: device windows that overlap each other,
// the PCI configuration window or board memory (errors), and boot scripts that test nothing
// (warnings).
#pragma once
#include "Board/Board.h"
#include "Board/BoardError.h"

#include <string>
#include <vector>

namespace boardsim {

// Errors: BARs given by the board and memory-mapped UARTs whose windows overlap.
std::vector<BoardError> CheckDeviceWindows(const Board &board, const std::string &file);

// Errors: [[heap]] records whose HOB list would not fit the space the platform has for it.
std::vector<BoardError> CheckHeapSpace(const Board &board, const std::string &file);

// Warnings: a boot script that dispatches no module, or that calls into (or raises an SMI for)
// a module it has not dispatched before that step.
std::vector<BoardError> BootScriptWarnings(const Board &board, const std::string &file);

} // namespace boardsim
