// boardsim-bench [BOARD.toml] [Google Benchmark options]: image sizes first, then boots per
// second and the time the HTML log takes to write, then a verdict against the boot target. Exit
// status 1 when a target is missed.
#include "BenchTargets.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using boardsim::bench::kTargetBootsPerSecond;

// The console output as usual, plus the lowest boot rate seen for the verdict.
class RateReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      auto it = run.counters.find("boots_per_second");
      if (it != run.counters.end() && run.run_type == Run::RT_Iteration && !run.error_occurred)
        lowest_ = lowest_ < 0 ? double(it->second) : std::min(lowest_, double(it->second));
    }
  }
  double lowest() const { return lowest_; }

private:
  double lowest_ = -1;
};

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  std::string board = BOARDSIM_BENCH_BOARD;
  if (argc > 1)
    board = argv[1];
  const bool imagesFit = boardsim::bench::ReportImageSizes(BOARDSIM_BENCH_IMAGE_DIR);
  if (!boardsim::bench::RegisterBootBenchmark(board) ||
      !boardsim::bench::RegisterLogBenchmarks(board))
    return 1;
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double rate = reporter.lowest();
  const bool fastEnough = rate >= kTargetBootsPerSecond;
  std::printf("\n%.0f boots per second (target %.0f): %s\n", rate, kTargetBootsPerSecond,
              rate < 0     ? "not measured"
              : fastEnough ? "met"
                           : "MISSED");
  return imagesFit && fastEnough ? 0 : 1;
}
