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

struct SweepOptionsText {
  std::string boardPath;
  std::string statuses = "default"; // "default", "all" or names separated by commas
  std::optional<std::string> jsonPath;
  std::optional<std::string> expectPath;
  unsigned jobs = 0; // 0: one per processor
  unsigned timeoutSeconds = 30;
  bool quiet = false;
};

// Exit codes: 0 completed, 1 unusable input (board file, module images), 2 halted.
int RunCommand(const RunOptions &options);
int CheckCommand(const std::vector<std::string> &boardPaths);
// Exit codes: 0 done, 1 unusable input, 2 a run crashed or hung, 3 differs from --expect.
int SweepCommand(const SweepOptionsText &options);

} // namespace boardsim
