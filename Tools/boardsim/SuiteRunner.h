// Running many board files, each in a process of its own, several at a time.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace boardsim {

struct BoardRun {
  std::string path;
  int status = 0;     // the exit status, or 128 + signal for a run a signal ended
  std::string output; // what the run printed, stdout and stderr together
  double seconds = 0;
};

// Every board file under `paths`: files as given, folders searched for *.toml, sorted. Paths
// that do not exist are returned as they are (their run fails with the loader's message).
std::vector<std::string> CollectBoardFiles(const std::vector<std::string> &paths);

// Runs `self run FILE --quiet RUNOPTIONS...` for each file, `jobs` at a time, with
// `extraArguments[i]` after the i-th (when given). `done` is called for the runs in the order of
// `files`, as soon as a run and all before it have ended.
std::vector<BoardRun> RunBoards(const std::string &self, const std::vector<std::string> &files,
                                unsigned jobs, const std::vector<std::string> &runOptions,
                                const std::function<void(const BoardRun &)> &done,
                                const std::vector<std::vector<std::string>> &extraArguments = {});

} // namespace boardsim
