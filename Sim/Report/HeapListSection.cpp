// The SMRAM heap list that the heap transfer built from the HOBs, in list order.
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

namespace boardsim::report {

Section HeapListSection(const ReportInput &input) {
  Section section;
  const Json &list = input.final.value("heap_list", Json());
  if (!list.is_array())
    return section;
  section.tables.push_back({"", {"handle", "size"}, {}, {}});
  if (list.empty()) {
    section.lines.push_back("  built, and empty");
    section.tables[0].notes.push_back("built, and empty");
  }
  for (const Json &buffer : list)
    AddRow(section, "  handle %-10s %s",
           {{Hex(U64(buffer, "handle")), Plural(U64(buffer, "size"), "byte")}});
  return section;
}

} // namespace boardsim::report
