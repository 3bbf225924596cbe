// The sections of the readable report. Each returns its lines without the heading, and its
// tables; a section with nothing to say returns no lines and is left out.
#pragma once
#include "Board/Board.h"
#include "Core/Trace.h"
#include "Report/SectionModel.h"
#include "Report/TimelineSteps.h"

#include <string>
#include <vector>

namespace boardsim::report {

struct ReportInput {
  const Board &board;
  const Json &final;                      // the final object of the run
  const std::vector<Json> &events;        // the captured trace (may end with the final event)
  const std::vector<TimelineStep> &steps; // TimelineSteps of those events
};

Section TimelineSection(const ReportInput &input);
Section ImagesSection(const ReportInput &input);
Section FaultsSection(const ReportInput &input);
Section PcdWritesSection(const ReportInput &input);
Section PciWalkSection(const ReportInput &input);
Section SetupItemsSection(const ReportInput &input);
Section HostRegistersSection(const ReportInput &input);
Section SmbusSection(const ReportInput &input);
Section IpmiSection(const ReportInput &input);
Section S3HandOverSection(const ReportInput &input);
Section HeapListSection(const ReportInput &input);
Section DebugOutputSection(const ReportInput &input);
Section PostCodeSection(const ReportInput &input);

} // namespace boardsim::report
