// Runs a board through the simulator and renders its report, so that tests can read the report
// the way a user does: by section, line by line.
#pragma once
#include "Board/BoardParser.h"
#include "Core/Simulator.h"

#include <string>
#include <string_view>
#include <vector>

namespace boardsim::testing {

// The built-in default board's text, from boards/default.toml.
std::string DefaultBoardText();

class ReportRun {
public:
  // Parses `boardText` (failing the test on any board-file error), runs it with the trace
  // captured, and renders the report.
  explicit ReportRun(std::string_view boardText);

  const Board &board() const { return board_; }
  const RunResult &result() const { return result_; }
  const std::vector<Json> &events() const { return events_; }
  const std::string &report() const { return report_; }
  std::vector<std::string> Lines() const;

  bool HasSection(std::string_view title) const;
  // The lines under a section's heading, up to the blank line that ends the section.
  std::vector<std::string> Section(std::string_view title) const;
  // The section's lines that contain `text`.
  std::vector<std::string> LinesWith(std::string_view title, std::string_view text) const;

private:
  Board board_;
  RunResult result_;
  std::vector<Json> events_;
  std::string report_;
};

// Hex the way the report writes addresses and codes: 0x42A00640.
std::string UpperHex(uint64_t value);

} // namespace boardsim::testing
