// The boardsim sub-commands.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

struct RunOptions {
  std::optional<std::string> boardPath; // nullopt: the built-in default board
  std::optional<std::string> tracePath;
  bool quiet = false;
  bool json = false;
};

// Exit codes: 0 completed, 1 unusable input (board file, module images), 2 halted.
int RunCommand(const RunOptions &options);
int CheckCommand(const std::vector<std::string> &boardPaths);

} // namespace boardsim
