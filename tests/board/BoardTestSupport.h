// Helpers shared by the board-file tests.
#pragma once

#include "Board/BoardParser.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace boardsim::test {

// The board of a text that must parse; fails the test with the parser's report otherwise.
inline Board MustParse(std::string_view text, const std::string &name = "test.toml") {
  LoadResult result = ParseBoardText(text, name);
  std::string report;
  for (const BoardError &error : result.errors)
    report += error.ToString() + "\n";
  EXPECT_TRUE(result.board.has_value()) << report;
  EXPECT_TRUE(result.errors.empty()) << report;
  return result.board.value_or(Board{});
}

// The errors of a text that must not parse.
inline std::vector<BoardError> MustFail(std::string_view text,
                                        const std::string &name = "test.toml") {
  LoadResult result = ParseBoardText(text, name);
  EXPECT_FALSE(result.board.has_value()) << "the board was accepted";
  EXPECT_FALSE(result.errors.empty());
  return result.errors;
}

} // namespace boardsim::test
