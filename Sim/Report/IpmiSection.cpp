// Requests to the BMC and the stalls between them; repeated attempts are folded.
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

namespace boardsim::report {
namespace {

std::string SpacedHex(const std::string &hex) {
  std::string text;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    text += (text.empty() ? "" : " ") + hex.substr(i, 2);
  return text;
}

} // namespace

Section IpmiSection(const ReportInput &input) {
  std::vector<std::string> texts;
  std::vector<Row> rows;
  size_t requests = 0, firstSuccess = 0;
  const Json *previous = nullptr;
  for (const Json &e : input.events) {
    if (Is(e, "ipmi")) {
      ++requests;
      const bool ok = Text(e, "status") == "EFI_SUCCESS";
      if (ok && !firstSuccess)
        firstSuccess = requests;
      rows.push_back({{HexByte(U64(e, "netfn")), std::to_string(U64(e, "lun")),
                       HexByte(U64(e, "command")), SpacedHex(Text(e, "request")), Text(e, "status"),
                       std::to_string(U64(e, "size_in")), std::to_string(U64(e, "size_out"))},
                      U64(e, "seq")});
      texts.push_back(LayOut("NetFn %s LUN %s cmd %s [%s]: %s, size %s -> %s", rows.back().cells));
    } else if (Is(e, "stall") && previous && Is(*previous, "ipmi")) {
      rows.push_back({{"stall " + Duration(U64(e, "us"))}, U64(e, "seq")});
      texts.push_back(rows.back().cells[0]);
    }
    previous = &e;
  }
  Section section;
  if (rows.empty())
    return section;
  const std::string summary =
      Plural(requests, "request") + "; " +
      (firstSuccess ? "the first to succeed was number " + std::to_string(firstSuccess)
                    : std::string("none succeeded"));
  section.tables.push_back(
      {summary, {"NetFn", "LUN", "cmd", "request", "status", "size in", "size out"}, {}, {}});
  section.lines.push_back("  " + summary);
  AddFoldedRows(section, texts, std::move(rows), "  ", "attempts");
  return section;
}

} // namespace boardsim::report
