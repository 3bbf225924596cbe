// Things the firmware would have crashed on, gathered from the timeline.
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

namespace boardsim::report {

SectionLines FaultsSection(const ReportInput &input) {
  SectionLines lines;
  for (const Json &e : input.events)
    if (Is(e, "fault"))
      AddWrapped(lines,
                 Format("%s %-14s ", SimTime(U64(e, "t_us")).c_str(), Text(e, "image").c_str()),
                 Text(e, "what"));
  return lines;
}

} // namespace boardsim::report
