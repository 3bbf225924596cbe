// Things the firmware would have crashed on, gathered from the timeline.
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

namespace boardsim::report {

Section FaultsSection(const ReportInput &input) {
  Section section;
  section.tables.push_back({"", {"time", "image", "fault"}, {}, {}});
  for (const Json &e : input.events) {
    if (!Is(e, "fault"))
      continue;
    std::vector<std::string> lines;
    AddWrapped(lines,
               Format("%s %-14s ", SimTime(U64(e, "t_us")).c_str(), Text(e, "image").c_str()),
               Text(e, "what"));
    AddRow(section, std::move(lines),
           {{Duration(U64(e, "t_us")), Text(e, "image"), Text(e, "what")}, U64(e, "seq")});
  }
  return section;
}

} // namespace boardsim::report
