// One iteration is one full boot of the board: a fresh Simulator over the parsed board, run to
// the end of its boot script, with tracing off as in production runs of the tool; once with the
// host engine, once with the image engine running all three firmware images (whose processors
// and translated code live on from boot to boot, as they do in one boardsim process).
#include "BenchTargets.h"

#include "Board/BoardParser.h"
#include "Core/Simulator.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <utility>

namespace boardsim::bench {
namespace {

void BootBoard(benchmark::State &state, const Board &board, Engine engine) {
  SimOptions options;
  options.engine = engine;
  for (auto _ : state) {
    Simulator sim(board, options);
    RunResult result = sim.Run();
    benchmark::DoNotOptimize(result.outcome);
    if (result.outcome != Outcome::Completed) {
      state.SkipWithError("the board did not complete its boot");
      break;
    }
  }
  state.counters["boots_per_second"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

bool RegisterBootBenchmark(const std::string &boardPath) {
  LoadResult loaded = LoadBoardFile(boardPath);
  for (const BoardError &error : loaded.errors)
    std::fprintf(stderr, "%s\n", error.ToString().c_str());
  if (!loaded.board)
    return false;
  // Parsed once here; the benchmark keeps its own copy for every iteration to boot. The modules
  // run as host builds, then as the firmware images themselves.
  for (auto [name, engine] : {std::pair{"host", Engine::Host}, std::pair{"image", Engine::Image}})
    benchmark::RegisterBenchmark(("boot/" + loaded.board->name + "/" + name).c_str(), BootBoard,
                                 *loaded.board, engine)
        ->Unit(benchmark::kMicrosecond);
  return true;
}

} // namespace boardsim::bench
