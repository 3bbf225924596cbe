#include "Commands.h"

#include "Board/BoardParser.h"
#include "Core/Simulator.h"
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
  for (const BoardError &error : loaded.errors)
    std::cerr << error.ToString() << '\n';
  return loaded.board;
}

} // namespace

int RunCommand(const RunOptions &options) {
  std::optional<Board> board = Load(options.boardPath);
  if (!board)
    return 1;
  std::ofstream traceFile;
  if (options.tracePath) {
    traceFile.open(*options.tracePath);
    if (!traceFile) {
      std::cerr << "boardsim: cannot write the trace to " << *options.tracePath
                << " (check that the folder exists and is writable)\n";
      return 1;
    }
  }
  try {
    SimOptions simOptions;
    simOptions.captureTrace = !options.quiet && !options.json;
    simOptions.traceOut = options.tracePath ? &traceFile : nullptr;
    Simulator sim(*board, simOptions);
    RunResult result = sim.Run();
    if (options.json)
      std::cout << result.final.dump(2) << '\n';
    else if (options.quiet)
      std::cout << RenderOutcome(*board, result);
    else
      std::cout << RenderReport(*board, result, sim.trace().Events());
    return result.outcome == Outcome::Completed ? 0 : 2;
  } catch (const std::runtime_error &error) {
    std::cerr << "boardsim: " << error.what() << '\n';
    return 1;
  }
}

int CheckCommand(const std::vector<std::string> &boardPaths) {
  int status = 0;
  for (const std::string &path : boardPaths) {
    LoadResult loaded = LoadBoardFile(path);
    for (const BoardError &error : loaded.errors)
      std::cerr << error.ToString() << '\n';
    if (loaded.board)
      std::cout << path << ": ok\n";
    else
      status = 1;
  }
  return status;
}

} // namespace boardsim
