#include "Commands.h"
#include "LogFiles.h"

#include "Board/BoardParser.h"
#include "Core/Simulator.h"
#include "Expect/Expectations.h"
#include "Report/BoardErrors.h"
#include "Report/Report.h"

#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string_view>

namespace boardsim {

extern const std::string_view kDefaultBoardText;

namespace {

std::optional<Board> Load(const std::optional<std::string> &path) {
  LoadResult loaded =
      path ? LoadBoardFile(*path) : ParseBoardText(kDefaultBoardText, "boards/default.toml");
  std::cerr << RenderBoardErrors(loaded.errors) << RenderBoardErrors(loaded.warnings, true);
  return loaded.board;
}

} // namespace

int RunCommand(const RunOptions &options) {
  std::optional<Board> board = Load(options.boardPath);
  if (!board)
    return kExitUnusable;
  std::ofstream traceFile;
  if (options.tracePath) {
    traceFile.open(*options.tracePath);
    if (!traceFile) {
      std::cerr << "boardsim: cannot write the trace to " << *options.tracePath
                << " (check that the folder exists and is writable)\n";
      return kExitUnusable;
    }
  }
  try {
    SimOptions simOptions;
    const bool log = options.htmlPath || options.summaryPath;
    simOptions.captureTrace = (!options.quiet && !options.json) || !board->expects.empty() || log;
    simOptions.traceOut = options.tracePath ? &traceFile : nullptr;
    simOptions.engine = options.engine == "image" ? Engine::Image : Engine::Host;
    simOptions.imageDirectory = options.imageDirectory.value_or("");
    Simulator sim(*board, simOptions);
    RunResult result = sim.Run();
    if (options.json)
      std::cout << result.final.dump(2) << '\n';
    else if (options.quiet)
      std::cout << RenderOutcome(*board, result);
    else
      std::cout << RenderReport(*board, result, sim.trace().Events());
    static constexpr int kByOutcome[] = {kExitOk, kExitHalted, kExitCrashed};
    int status = kByOutcome[static_cast<int>(result.outcome)];
    std::vector<ExpectResult> results;
    if (!board->expects.empty()) {
      results = CheckExpectations(*board, result.final, sim.trace().Events());
      (options.json ? std::cerr : std::cout)
          << RenderExpectations(options.boardPath.value_or("boards/default.toml"), results);
      status = AllPassed(results) ? kExitOk : kExitExpectations;
    }
    if (log &&
        !WriteBoardLog(options, *board, result, sim.trace().Events(), std::move(results), status))
      return kExitUnusable;
    return status;
  } catch (const std::runtime_error &error) {
    std::cerr << "boardsim: " << error.what() << '\n';
    return kExitUnusable;
  }
}

int CheckCommand(const std::vector<std::string> &boardPaths) {
  size_t failed = 0;
  for (const std::string &path : boardPaths) {
    LoadResult loaded = LoadBoardFile(path);
    std::cout.flush();
    std::cerr << RenderBoardErrors(loaded.errors) << RenderBoardErrors(loaded.warnings, true);
    std::cerr.flush();
    std::cout << RenderBoardVerdict(path, loaded.errors.size(), loaded.warnings.size());
    if (!loaded.board)
      ++failed;
  }
  if (boardPaths.size() > 1)
    std::cout << failed << " of " << boardPaths.size() << " board files "
              << (failed == 1 ? "has" : "have") << " errors\n";
  return failed ? kExitUnusable : kExitOk;
}

} // namespace boardsim
