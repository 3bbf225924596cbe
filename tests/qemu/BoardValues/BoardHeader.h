// QemuBoardValues.h from a board file: the values of QemuBoardModel.h as C++ constants.
#pragma once
#include "Board/Board.h"

#include <string>

namespace qemuboard {

// Throws std::runtime_error, naming the key, for what the harness does not model (a heap record
// with a trace buffer, another HOB name or length, more registers than it keeps).
std::string BoardHeader(const boardsim::Board &board, const std::string &source);

} // namespace qemuboard
