// Board-file problems as `boardsim check` and `boardsim run` print them.
#pragma once
#include "Board/BoardError.h"

#include <string>
#include <vector>

namespace boardsim {

// One block per problem: "file:line:column: key: message", then an indented hint (the parser's,
// or a pointer to the section's reference in docs/board-file.md).
// Warnings read "file:line: key: warning: message".
std::string RenderBoardErrors(const std::vector<BoardError> &errors, bool warnings = false);

// "boards/x.toml: ok", "boards/x.toml: ok, 1 warning" or "boards/x.toml: 3 errors".
std::string RenderBoardVerdict(const std::string &path, size_t errorCount, size_t warningCount = 0);

} // namespace boardsim
