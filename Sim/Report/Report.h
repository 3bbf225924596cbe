// The readable report of one run, for an 80-column terminal.
#pragma once
#include "Board/Board.h"
#include "Core/Simulator.h"

#include <string>
#include <vector>

namespace boardsim {

// `events` is the captured trace of the run (its last entry may be the final event).
std::string RenderReport(const Board &board, const RunResult &result,
                         const std::vector<Json> &events);
// One line: board, outcome, simulated time, images and their statuses.
std::string RenderOutcome(const Board &board, const RunResult &result);

} // namespace boardsim
