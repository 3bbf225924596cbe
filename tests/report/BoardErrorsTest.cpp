// The board-file problem listing of `boardsim check` and `boardsim run`.
#include "Board/BoardParser.h"
#include "Report/BoardErrors.h"

#include <gtest/gtest.h>

#include <sstream>

namespace boardsim {
namespace {

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

TEST(BoardErrors, EachProblemNamesItsPlaceAndKeyAndGivesAHint) {
  LoadResult loaded = ParseBoardText(R"(name = 3
[pcd]
PcdNic1BridgeLocatoin = 1
[[pci]]
bdf = "zz"
)",
                                     "bad.toml");
  ASSERT_EQ(loaded.errors.size(), 3u);
  const std::vector<std::string> lines = Lines(RenderBoardErrors(loaded.errors));
  size_t problems = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].starts_with(" "))
      continue;
    ++problems;
    EXPECT_TRUE(lines[i].starts_with("bad.toml:")) << lines[i];
    ASSERT_LT(i + 1, lines.size());
    EXPECT_TRUE(lines[i + 1].starts_with("    hint: ")) << lines[i + 1];
  }
  EXPECT_EQ(problems, 3u);
  EXPECT_TRUE(lines[0].starts_with("bad.toml:1:8: name: ")) << lines[0];
  for (const std::string &line : lines)
    if (line.starts_with(" "))
      EXPECT_LE(line.size(), 80u) << line;
}

TEST(BoardErrors, AProblemWithoutItsOwnHintPointsToTheReference) {
  const struct {
    const char *key;
    const char *hint;
  } kCases[] = {
      {"pci[3].bdf", "see the [[pci]] section in docs/board-file.md"},
      {"cpu.msr", "see the [cpu] section in docs/board-file.md"},
      {"pcd", "see the [pcd] section in docs/board-file.md"},
      {"name", "see the top-level keys in docs/board-file.md"},
      {"", "see docs/board-file.md for what a board file may hold"},
  };
  for (const auto &c : kCases) {
    BoardError error{"b.toml", 4, 0, c.key, "something is wrong", ""};
    const std::vector<std::string> lines = Lines(RenderBoardErrors({error}));
    ASSERT_EQ(lines.size(), 2u) << c.key;
    EXPECT_EQ(lines[0], std::string("b.toml:4: ") + (*c.key ? std::string(c.key) + ": " : "") +
                            "something is wrong");
    EXPECT_EQ(lines[1], std::string("    hint: ") + c.hint);
  }
}

TEST(BoardErrors, TheVerdictCountsAFilesErrors) {
  EXPECT_EQ(RenderBoardVerdict("a.toml", 0), "a.toml: ok\n");
  EXPECT_EQ(RenderBoardVerdict("a.toml", 1), "a.toml: 1 error\n");
  EXPECT_EQ(RenderBoardVerdict("a.toml", 4), "a.toml: 4 errors\n");
}

} // namespace
} // namespace boardsim
