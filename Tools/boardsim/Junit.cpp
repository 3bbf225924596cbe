#include "Junit.h"

#include "Log/Html.h"

#include <cstdio>

namespace boardsim {
namespace {

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

} // namespace

std::string JunitXml(const std::vector<BoardRun> &runs,
                     const std::vector<std::string> &failureSummaries) {
  size_t failures = 0;
  double total = 0;
  for (size_t i = 0; i < runs.size(); ++i) {
    failures += !failureSummaries[i].empty();
    total += runs[i].seconds;
  }
  const std::string counts =
      "tests=\"" + std::to_string(runs.size()) + "\" failures=\"" + std::to_string(failures) + "\"";
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites " + counts +
                    ">\n  <testsuite name=\"boardsim\" " + counts + " time=\"" + Seconds(total) +
                    "\">\n";
  for (size_t i = 0; i < runs.size(); ++i) {
    const BoardRun &run = runs[i];
    xml += "    <testcase classname=\"boardsim\" name=\"" + log::Escape(run.path) + "\" time=\"" +
           Seconds(run.seconds) + "\"";
    if (failureSummaries[i].empty()) {
      xml += "/>\n";
      continue;
    }
    xml += ">\n      <failure message=\"" + log::Escape(failureSummaries[i]) + "\">" +
           log::Escape(run.output) + "</failure>\n    </testcase>\n";
  }
  return xml + "  </testsuite>\n</testsuites>\n";
}

} // namespace boardsim
