// Writing the HTML log and its JSON summary for `run` and `test`.
#pragma once
#include "Commands.h"
#include "SuiteRunner.h"

#include "Core/Simulator.h"
#include "Expect/Expectations.h"

#include <string>
#include <vector>

namespace boardsim {

// Writes the board's page and/or summary that `options` ask for; false (after saying why on
// stderr) when a file cannot be written.
bool WriteBoardLog(const RunOptions &options, const Board &board, const RunResult &result,
                   const std::vector<Json> &events, std::vector<ExpectResult> expectations,
                   int exitStatus);

// What `test` passes each run so that it writes its part of the suite's log: its page in the
// HTML folder and its summary in `scratch` (a folder of the suite's own).
class SuiteLogFiles {
public:
  // Makes the HTML folder (when asked for) and the scratch folder; false after saying why.
  bool Prepare(const TestOptions &options, const std::vector<std::string> &files);
  std::vector<std::vector<std::string>> RunArguments() const;
  // Writes the suite page (and pages for runs that wrote none) and the JSON summary.
  bool Write(const TestOptions &options, const std::vector<BoardRun> &runs,
             const std::vector<std::string> &failures) const;
  ~SuiteLogFiles();

private:
  std::string SummaryOf(size_t board) const;

  size_t count_ = 0;
  std::string html_;               // the HTML folder, "" when no HTML log is written
  std::string scratch_;            // where each run leaves its summary
  std::vector<std::string> pages_; // each board's page, relative to the HTML folder
};

} // namespace boardsim
