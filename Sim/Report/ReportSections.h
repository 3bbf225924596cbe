// The sections of the readable report. Each returns its lines without the heading; a section
// with nothing to say returns no lines and is left out.
#pragma once
#include "Board/Board.h"
#include "Core/Trace.h"

#include <string>
#include <vector>

namespace boardsim::report {

struct ReportInput {
  const Board &board;
  const Json &final;               // the final object of the run
  const std::vector<Json> &events; // the captured trace (may end with the final event)
};

using SectionLines = std::vector<std::string>;

SectionLines TimelineSection(const ReportInput &input);
SectionLines ImagesSection(const ReportInput &input);
SectionLines FaultsSection(const ReportInput &input);
SectionLines PcdWritesSection(const ReportInput &input);
SectionLines PciWalkSection(const ReportInput &input);
SectionLines SetupItemsSection(const ReportInput &input);
SectionLines HostRegistersSection(const ReportInput &input);
SectionLines SmbusSection(const ReportInput &input);
SectionLines IpmiSection(const ReportInput &input);
SectionLines S3HandOverSection(const ReportInput &input);
SectionLines HeapListSection(const ReportInput &input);
SectionLines DebugOutputSection(const ReportInput &input);
SectionLines PostCodeSection(const ReportInput &input);

} // namespace boardsim::report
