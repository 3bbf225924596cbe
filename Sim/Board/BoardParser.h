// Reading a board file (TOML) into a Board. A board comes back only when the file has no
// problem at all; otherwise every problem found is reported and no board is returned.
#pragma once

#include "Board/Board.h"
#include "Board/BoardError.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

struct LoadResult {
  std::optional<Board> board;
  std::vector<BoardError> errors;   // empty exactly when `board` is set
  std::vector<BoardError> warnings; // problems that do not stop the board from running
};

// `path` "-" reads the board from standard input; a folder or an empty file is an error.
LoadResult LoadBoardFile(const std::string &path);

// `sourceName` names the text in errors, and its stem is the default board name.
LoadResult ParseBoardText(std::string_view text, const std::string &sourceName);

} // namespace boardsim
