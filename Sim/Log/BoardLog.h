// One board's log: what a suite lists about the run, what its HTML page shows and what its JSON
// summary carries, all made from the run once: the report's sections, the timeline's steps
// drawn as a picture, and the expectations with the events they were judged on.
#pragma once
#include "Board/Board.h"
#include "Core/Simulator.h"
#include "Expect/Expectations.h"
#include "Log/BootPicture.h"
#include "Report/Report.h"

#include <string>
#include <string_view>
#include <vector>

namespace boardsim::log {

struct BoardLog {
  std::string name, description;
  std::string file;   // the board file as the command line named it
  std::string engine; // "host" or "image"
  std::string outcome;
  int exitStatus = 0;
  uint64_t tUs = 0;        // simulated time of the whole run
  std::string outcomeText; // the report's outcome line
  std::vector<ExpectResult> expectations;
  std::vector<ReportSection> sections;
  std::vector<report::TimelineStep> steps;
  BootPicture picture;

  size_t Failed() const;
  bool Passed() const { return exitStatus == 0; }
};

// How the run was made: what the board page names and the exit status `run` gives.
struct RunFacts {
  std::string file;
  std::string engine;
  int exitStatus = 0;
};

BoardLog MakeBoardLog(const Board &board, const RunResult &result, const std::vector<Json> &events,
                      std::vector<ExpectResult> expectations, RunFacts facts);

// The JSON summary of one board: the facts, the expectations, the report's sections as tables
// and the picture's lanes and items ("timeline").
Json BoardSummary(const BoardLog &log);

// The board's page: self-contained HTML that needs nothing but itself. `suitePage` is the
// suite page to link back to ("" for a page of its own).
std::string BoardPage(const BoardLog &log, const std::vector<Json> &events,
                      std::string_view suitePage);

} // namespace boardsim::log
