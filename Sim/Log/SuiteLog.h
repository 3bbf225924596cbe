// The log of a suite of board runs: one line per board, failures first, linking each board's
// page; and the same as one JSON summary.
#pragma once
#include "Core/Trace.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim::log {

// One board of the suite as its run ended.
struct SuiteBoard {
  std::string file;
  int status = 0;      // the run's exit status, or 128 + signal
  std::string failure; // why it failed, in one line; empty when it passed
  std::string output;  // what the run printed
  std::string page;    // its page, relative to the suite page
  Json summary;        // BoardSummary of the run; null when the run wrote none
};

struct ImageFile {
  std::string name;
  std::optional<uint64_t> size; // nullopt: not built
};

struct SuiteLog {
  std::string command; // the command line that ran the suite
  std::string version; // of boardsim
  std::vector<ImageFile> images;
  std::vector<SuiteBoard> boards; // in the order they ran
};

std::string SuitePage(const SuiteLog &suite);

// A page for a board whose run wrote none (an unusable board file, a run that died): what the
// run printed.
std::string OutputPage(const SuiteBoard &board, std::string_view suitePage);

// The suite as JSON: the command, the build, and for each board its summary with the suite's
// view of the run (`file`, `exit_status`, `failure`, `page`).
Json SuiteSummary(const SuiteLog &suite);

} // namespace boardsim::log
