// Every PCD write in order, with the image that made it; identical repeats are folded.
#include "Board/PcdTable.h"
#include "Report/Repeats.h"
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

namespace boardsim::report {

SectionLines PcdWritesSection(const ReportInput &input) {
  SectionLines writes;
  for (const Json &e : input.events) {
    if (!Is(e, "pcd_set"))
      continue;
    const uint64_t token = U64(e, "token");
    const PcdTokenInfo *info = FindPcdToken(uint32_t(token));
    writes.push_back(Format("%5llu  %-26s %-18s %s", static_cast<unsigned long long>(token),
                            info ? std::string(info->name).c_str() : "-",
                            Hex(U64(e, "value")).c_str(), Text(e, "image").c_str()));
  }
  if (writes.empty())
    return writes;
  SectionLines lines = {Format("  %5s  %-26s %-18s %s", "token", "name", "value", "written by")};
  for (std::string &line : FoldRepeats(writes, "  "))
    lines.push_back(std::move(line));
  return lines;
}

} // namespace boardsim::report
