// Host SMBus transactions in order; repeated attempts are folded into one block with a count.
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

namespace boardsim::report {

Section SmbusSection(const ReportInput &input) {
  std::vector<std::string> texts;
  std::vector<Row> rows;
  for (const Json &e : input.events) {
    if (!Is(e, "smbus"))
      continue;
    const bool write = Text(e, "op") == "write_byte";
    const bool ok = Text(e, "status") == "EFI_SUCCESS";
    rows.push_back(
        {{HexByte(U64(e, "address")), write ? "write" : "read", HexByte(U64(e, "command")),
          write || ok ? HexByte(U64(e, "data")) : "-", Text(e, "status")},
         U64(e, "seq")});
    texts.push_back(LayOut("%s     %-5s  %s     %-5s  %s", rows.back().cells));
  }
  Section section;
  if (rows.empty())
    return section;
  section.tables.push_back({"", {"device", "op", "command", "data", "status"}, {}, {}});
  section.lines.push_back(LayOut("  %-6s   %-5s  %-7s  %-5s  %s", section.tables[0].headings));
  AddFoldedRows(section, texts, std::move(rows), "  ", "attempts");
  return section;
}

} // namespace boardsim::report
