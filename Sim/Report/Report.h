// The readable report of one run, for an 80-column terminal.
#pragma once
#include "Board/Board.h"
#include "Core/Simulator.h"
#include "Report/SectionModel.h"
#include "Report/TimelineSteps.h"

#include <string>
#include <vector>

namespace boardsim {

// The whole report: a timeline of the boot, then one section per subject that has something
// to say, then the outcome. `events` is the captured trace of the run (its last entry may be
// the final event). No line is longer than 80 columns.
std::string RenderReport(const Board &board, const RunResult &result,
                         const std::vector<Json> &events);

struct ReportSection {
  std::string title;
  report::Section content;
};

// The report's sections that have something to say, in the report's order, from the run's final
// object, its captured events and their timeline steps.
std::vector<ReportSection> ReportSections(const Board &board, const Json &final,
                                          const std::vector<Json> &events,
                                          const std::vector<report::TimelineStep> &steps);

// The outcome in a line or two: board, completed or halted (with the error stop), simulated
// time, and the images whose entry point did not return EFI_SUCCESS.
std::string RenderOutcome(const Board &board, const RunResult &result);

} // namespace boardsim
