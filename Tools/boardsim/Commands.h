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
  std::string engine = "host"; // "host" or "image"
  std::optional<std::string> imageDirectory;
};

// Exit codes: 0 completed, 1 unusable input (board file, module images), 2 halted, 3 crashed
// (image code faulted in the image engine).
int RunCommand(const RunOptions &options);
int CheckCommand(const std::vector<std::string> &boardPaths);

} // namespace boardsim
