// The SMRAM heap list that the heap transfer built from the HOBs, in list order.
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

namespace boardsim::report {

SectionLines HeapListSection(const ReportInput &input) {
  SectionLines lines;
  const Json &list = input.final.value("heap_list", Json());
  if (!list.is_array())
    return lines;
  if (list.empty())
    lines.push_back("  built, and empty");
  for (const Json &buffer : list)
    lines.push_back(Format("  handle %-10s %s", Hex(U64(buffer, "handle")).c_str(),
                           Plural(U64(buffer, "size"), "byte").c_str()));
  return lines;
}

} // namespace boardsim::report
