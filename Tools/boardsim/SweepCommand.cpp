#include "Commands.h"

#include "Board/BoardParser.h"
#include "Core/Status.h"
#include "Report/BoardErrors.h"
#include "Sweep/SweepFile.h"
#include "Sweep/SweepTable.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace boardsim {
namespace {

// "default", "all", or status names separated by commas.
std::optional<std::vector<std::string>> ParseStatuses(const std::string &text) {
  if (text == "default")
    return DefaultSweepStatuses();
  if (text == "all")
    return AllSweepStatuses();
  std::vector<std::string> statuses;
  std::stringstream list(text);
  for (std::string name; std::getline(list, name, ',');) {
    if (!StatusFromName(name) || name == "EFI_SUCCESS") {
      std::cerr << "boardsim sweep: --statuses: " << (name.empty() ? "an empty name" : name)
                << " is not a status a call can fail with; give names such as "
                   "EFI_NOT_FOUND,EFI_WARN_STALE_DATA, or 'default' or 'all'\n";
      return std::nullopt;
    }
    statuses.push_back(name);
  }
  return statuses;
}

std::optional<std::string> ReadFile(const std::string &path) {
  std::ifstream file(path);
  if (!file)
    return std::nullopt;
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

} // namespace

int SweepCommand(const SweepOptionsText &options) {
  LoadResult loaded = LoadBoardFile(options.boardPath);
  std::cerr << RenderBoardErrors(loaded.errors);
  if (!loaded.board)
    return 1;
  std::optional<std::vector<std::string>> statuses = ParseStatuses(options.statuses);
  if (!statuses)
    return 1;
  std::optional<SweepResult> expected;
  if (options.expectPath) {
    std::optional<std::string> text = ReadFile(*options.expectPath);
    std::string problem = "cannot read the file (check the path)";
    if (text)
      expected = SweepFromJson(*text, problem);
    if (!expected) {
      std::cerr << "boardsim sweep: --expect " << *options.expectPath << ": " << problem
                << "; write one with --json\n";
      return 1;
    }
  }
  SweepResult result;
  const auto started = std::chrono::steady_clock::now();
  try {
    result = RunSweep(*loaded.board, {*statuses, options.jobs, options.timeoutSeconds});
  } catch (const std::runtime_error &error) {
    std::cerr << "boardsim: " << error.what() << '\n';
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cout << (options.quiet ? RenderSweepTotal(result) : RenderSweepTable(result));
  std::cout << "swept in " << static_cast<int>(seconds * 10) / 10.0 << " s\n";
  if (options.jsonPath) {
    std::ofstream out(*options.jsonPath);
    out << SweepToJson(result);
    if (!out) {
      std::cerr << "boardsim sweep: cannot write " << *options.jsonPath
                << " (check that the folder exists and is writable)\n";
      return 1;
    }
  }
  if (expected) {
    std::vector<std::string> differences = CompareSweeps(*expected, result);
    for (const std::string &line : differences)
      std::cout << "differs: " << line << '\n';
    std::cout << (differences.empty() ? "agrees with " : "does not agree with ")
              << *options.expectPath << '\n';
    if (!differences.empty())
      return 3;
  }
  const bool broke = std::any_of(result.verdicts.begin(), result.verdicts.end(), [](auto &row) {
    return std::any_of(row.begin(), row.end(), [](const Verdict &v) {
      return v.kind == VerdictKind::Crash || v.kind == VerdictKind::Hang;
    });
  });
  return broke ? 2 : 0;
}

} // namespace boardsim
