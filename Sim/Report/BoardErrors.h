// Board-file problems as `boardsim check` and `boardsim run` print them.
#pragma once
#include "Board/BoardError.h"

#include <string>
#include <vector>

namespace boardsim {

// One block per problem: "file:line:column: key: message", then an indented hint (the parser's,
// or a pointer to the section's reference in docs/board-file.md).
std::string RenderBoardErrors(const std::vector<BoardError> &errors);

// "boards/x.toml: ok" or "boards/x.toml: 3 errors".
std::string RenderBoardVerdict(const std::string &path, size_t errorCount);

} // namespace boardsim
