// Every PCD write in order, with the image that made it; identical repeats are folded.
#include "Board/PcdTable.h"
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

namespace boardsim::report {

Section PcdWritesSection(const ReportInput &input) {
  constexpr std::string_view kLayout = "%5s  %-26s %-18s %s";
  std::vector<std::string> texts;
  std::vector<Row> rows;
  for (const Json &e : input.events) {
    if (!Is(e, "pcd_set"))
      continue;
    const uint64_t token = U64(e, "token");
    const PcdTokenInfo *info = FindPcdToken(uint32_t(token));
    rows.push_back({{std::to_string(token), info ? std::string(info->name) : "-",
                     Hex(U64(e, "value")), Text(e, "image")},
                    U64(e, "seq")});
    texts.push_back(LayOut(kLayout, rows.back().cells));
  }
  Section section;
  if (rows.empty())
    return section;
  section.tables.push_back({"", {"token", "name", "value", "written by"}, {}, {}});
  section.lines.push_back("  " + LayOut(kLayout, section.tables.back().headings));
  AddFoldedRows(section, texts, std::move(rows), "  ");
  return section;
}

} // namespace boardsim::report
