#include "ReportRun.h"

#include "Report/Report.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace boardsim::testing {

std::string DefaultBoardText() {
  std::ifstream file(REPORT_TEST_DEFAULT_BOARD);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

ReportRun::ReportRun(std::string_view boardText) {
  LoadResult loaded = ParseBoardText(boardText, "report-test.toml");
  for (const BoardError &error : loaded.errors)
    ADD_FAILURE() << error.ToString();
  if (!loaded.board)
    return;
  board_ = *loaded.board;
  SimOptions options;
  options.captureTrace = true;
  Simulator sim(board_, options);
  result_ = sim.Run();
  events_ = sim.trace().Events();
  report_ = RenderReport(board_, result_, events_);
}

std::vector<std::string> ReportRun::Lines() const {
  std::vector<std::string> lines;
  std::istringstream in(report_);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

bool ReportRun::HasSection(std::string_view title) const {
  const std::vector<std::string> lines = Lines();
  for (size_t i = 0; i + 1 < lines.size(); ++i)
    if (lines[i] == title && lines[i + 1] == std::string(title.size(), '-'))
      return true;
  return false;
}

std::vector<std::string> ReportRun::Section(std::string_view title) const {
  const std::vector<std::string> lines = Lines();
  std::vector<std::string> section;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i] != title || lines[i + 1] != std::string(title.size(), '-'))
      continue;
    for (size_t k = i + 2; k < lines.size() && !lines[k].empty(); ++k)
      section.push_back(lines[k]);
    break;
  }
  return section;
}

std::vector<std::string> ReportRun::LinesWith(std::string_view title, std::string_view text) const {
  std::vector<std::string> found;
  for (const std::string &line : Section(title))
    if (line.find(text) != std::string::npos)
      found.push_back(line);
  return found;
}

std::string UpperHex(uint64_t value) {
  std::ostringstream text;
  text << "0x" << std::uppercase << std::hex << value;
  return text.str();
}

} // namespace boardsim::testing
