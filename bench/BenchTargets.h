// What the benchmark program measures and the figures it is held to.
#pragma once
#include <cstdint>
#include <string>

namespace boardsim::bench {

inline constexpr double kTargetBootsPerSecond = 2000;

// Prints each firmware image's size against its budget; missing images are noted and skipped.
// Returns false when an image is over its budget.
bool ReportImageSizes(const std::string &imageDir);

// Registers the boot benchmark for the board file at `boardPath`; false (after saying why) when
// the board cannot be read.
bool RegisterBootBenchmark(const std::string &boardPath);

// Registers the benchmarks of writing the HTML log: the page of the board at `boardPath` and of
// the example board beside it with the longest trace, and a 40-board suite page.
bool RegisterLogBenchmarks(const std::string &boardPath);

} // namespace boardsim::bench
