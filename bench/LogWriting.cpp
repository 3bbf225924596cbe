// Writing the HTML log: one board's page and summary from a captured run (the default board and
// the example board with the longest trace), and a 40-board suite's page and summary from the
// boards' summaries, read back from JSON text as `boardsim test` reads its runs' files.
#include "BenchTargets.h"

#include "Board/BoardParser.h"
#include "Core/Simulator.h"
#include "Expect/Expectations.h"
#include "Log/BoardLog.h"
#include "Log/SuiteLog.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

namespace boardsim::bench {
namespace {

constexpr size_t kSuiteBoards = 40;

struct CapturedRun {
  Board board;
  RunResult result;
  std::vector<Json> events;
  std::vector<ExpectResult> expectations;
};

std::shared_ptr<CapturedRun> Capture(const Board &board) {
  auto run = std::make_shared<CapturedRun>();
  run->board = board;
  SimOptions options;
  options.captureTrace = true;
  Simulator sim(run->board, options);
  run->result = sim.Run();
  run->events = sim.trace().Events();
  run->expectations = CheckExpectations(run->board, run->result.final, run->events);
  return run;
}

void BoardPage(benchmark::State &state, std::shared_ptr<CapturedRun> run) {
  size_t bytes = 0;
  for (auto _ : state) {
    const log::BoardLog log = log::MakeBoardLog(run->board, run->result, run->events,
                                                run->expectations, {"board.toml", "host", 0});
    const std::string page = log::BoardPage(log, run->events, "../index.html");
    const std::string summary = log::BoardSummary(log).dump(2);
    bytes = page.size() + summary.size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["events"] = double(run->events.size());
  state.counters["bytes"] = double(bytes);
}

void SuitePage(benchmark::State &state, std::shared_ptr<CapturedRun> run) {
  const log::BoardLog log = log::MakeBoardLog(run->board, run->result, run->events,
                                              run->expectations, {"board.toml", "host", 0});
  const std::string summary = log::BoardSummary(log).dump(2);
  for (auto _ : state) {
    log::SuiteLog suite{"boardsim test boards/ --html log", "bench", {}, {}};
    for (size_t i = 0; i < kSuiteBoards; ++i)
      suite.boards.push_back({"boards/b" + std::to_string(i) + ".toml", 0, "", "",
                              "boards/b" + std::to_string(i) + ".html", Json::parse(summary)});
    const std::string page = log::SuitePage(suite);
    const std::string json = log::SuiteSummary(suite).dump(2);
    benchmark::DoNotOptimize(page.size() + json.size());
  }
}

} // namespace

bool RegisterLogBenchmarks(const std::string &boardPath) {
  LoadResult loaded = LoadBoardFile(boardPath);
  if (!loaded.board)
    return false;
  std::shared_ptr<CapturedRun> given = Capture(*loaded.board), longest;
  // The example board with the longest trace, found by running each once.
  std::error_code error;
  for (const auto &entry :
       std::filesystem::directory_iterator(std::filesystem::path(boardPath).parent_path(), error)) {
    if (entry.path().extension() != ".toml")
      continue;
    LoadResult example = LoadBoardFile(entry.path().string());
    if (!example.board)
      continue;
    std::shared_ptr<CapturedRun> run = Capture(*example.board);
    if (!longest || run->events.size() > longest->events.size())
      longest = run;
  }
  benchmark::RegisterBenchmark(("log/board-page/" + given->board.name).c_str(), BoardPage, given)
      ->Unit(benchmark::kMillisecond);
  if (longest && longest->board.name != given->board.name)
    benchmark::RegisterBenchmark(("log/board-page/" + longest->board.name).c_str(), BoardPage,
                                 longest)
        ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(
      ("log/suite-page/" + std::to_string(kSuiteBoards) + "-boards").c_str(), SuitePage, given)
      ->Unit(benchmark::kMillisecond);
  return true;
}

} // namespace boardsim::bench
