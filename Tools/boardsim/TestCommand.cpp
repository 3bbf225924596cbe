// boardsim test: every board under the given paths, one line per board, a total, and JUnit XML.
#include "Commands.h"
#include "Junit.h"
#include "LogFiles.h"
#include "SuiteRunner.h"

#include <fstream>
#include <iostream>
#include <thread>

namespace boardsim {
namespace {

// The last non-empty line of a run's output.
std::string LastLine(const std::string &output) {
  size_t end = output.find_last_not_of('\n');
  if (end == std::string::npos)
    return "";
  size_t begin = output.rfind('\n', end);
  return output.substr(begin == std::string::npos ? 0 : begin + 1, end - (begin + 1) + 1);
}

std::string FirstLine(const std::string &output) {
  return output.substr(0, output.find('\n'));
}

// Why a board failed, in one line; empty when it passed.
std::string FailureSummary(const BoardRun &run) {
  switch (run.status) {
  case kExitOk:
    return "";
  case kExitHalted:
    return "halted in an error stop";
  case kExitExpectations:
    return LastLine(run.output);
  case kExitUnusable:
    return FirstLine(run.output);
  default:
    return run.status > 128 ? "crashed (signal " + std::to_string(run.status - 128) + ")"
                            : "exit status " + std::to_string(run.status);
  }
}

} // namespace

int TestCommand(const TestOptions &options, const std::string &self) {
  const std::vector<std::string> files = CollectBoardFiles(options.paths);
  if (files.empty()) {
    std::cerr << "boardsim: no board files (*.toml) under the paths given\n";
    return kExitUnusable;
  }
  const unsigned jobs = options.jobs ? options.jobs : std::thread::hardware_concurrency();
  SuiteLogFiles log;
  if (!log.Prepare(options, files))
    return kExitUnusable;
  std::vector<std::string> summaries;
  size_t failed = 0;
  std::vector<std::string> runOptions = {"--engine", options.engine};
  if (options.imageDirectory)
    runOptions.insert(runOptions.end(), {"--images", *options.imageDirectory});
  std::vector<BoardRun> runs = RunBoards(
      self, files, jobs, runOptions,
      [&](const BoardRun &run) {
        summaries.push_back(FailureSummary(run));
        const std::string &summary = summaries.back();
        failed += !summary.empty();
        std::cout << (summary.empty() ? "pass  " : "FAIL  ") << run.path
                  << (summary.empty() ? "" : ": " + summary) << '\n'
                  << std::flush;
      },
      log.RunArguments());
  for (size_t i = 0; i < runs.size(); ++i)
    if (!summaries[i].empty())
      std::cout << "\n--- " << runs[i].path << '\n' << runs[i].output;
  if (failed)
    std::cout << '\n';
  std::cout << runs.size() - failed << " passed, " << failed << " failed\n";
  if (options.junitPath) {
    std::ofstream junit(*options.junitPath);
    junit << JunitXml(runs, summaries);
    if (!junit) {
      std::cerr << "boardsim: cannot write the JUnit report to " << *options.junitPath
                << " (check that the folder exists and is writable)\n";
      return kExitUnusable;
    }
  }
  if (!log.Write(options, runs, summaries))
    return kExitUnusable;
  return failed ? kExitExpectations : kExitOk;
}

} // namespace boardsim
