// The boardsim sub-commands.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

// Exit statuses of every command, as the help texts and docs/testing.md list them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUnusable = 1;     // board file, module images, output file
inline constexpr int kExitHalted = 2;       // run: halted in an error stop (no expectations given)
inline constexpr int kExitExpectations = 3; // run: an expectation failed; test: a board failed
inline constexpr int kExitUsage = 4;        // the command line itself is wrong
inline constexpr int kExitCrashed = 5; // run: image code faulted (image engine; no expectations)

struct RunOptions {
  std::optional<std::string> boardPath; // nullopt: the built-in default board; "-": stdin
  std::optional<std::string> tracePath;
  bool quiet = false;
  bool json = false;
  std::string engine = "host"; // "host" or "image"
  std::optional<std::string> imageDirectory;
  std::optional<std::string> htmlPath;    // the board's page of the HTML log
  std::optional<std::string> summaryPath; // the log's data as JSON
  std::string suitePage;                  // the suite page the board's page links back to ("" none)
};

struct TestOptions {
  std::vector<std::string> paths; // board files and folders
  std::optional<std::string> junitPath;
  std::optional<std::string> htmlDirectory; // the HTML log: index.html and a page per board
  std::optional<std::string> jsonPath;      // the suite's log data as JSON
  unsigned jobs = 0;                        // 0: one per core
  std::string engine = "host";              // passed to each run, as `run` takes them
  std::optional<std::string> imageDirectory;
  std::string commandLine; // as the suite page shows it
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

int RunCommand(const RunOptions &options);
int CheckCommand(const std::vector<std::string> &boardPaths);
// `self` is this program, which runs each board in a process of its own.
int TestCommand(const TestOptions &options, const std::string &self);
// Exit codes: 0 done, 1 unusable input, 2 a run crashed or hung, 3 differs from --expect.
int SweepCommand(const SweepOptionsText &options);

} // namespace boardsim
