// Requests to the BMC and the stalls between them; repeated attempts are folded.
#include "Report/Repeats.h"
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

SectionLines IpmiSection(const ReportInput &input) {
  SectionLines steps;
  size_t requests = 0, firstSuccess = 0;
  const Json *previous = nullptr;
  for (const Json &e : input.events) {
    if (Is(e, "ipmi")) {
      ++requests;
      const bool ok = Text(e, "status") == "EFI_SUCCESS";
      if (ok && !firstSuccess)
        firstSuccess = requests;
      steps.push_back(Format("NetFn 0x%02llX LUN %llu cmd 0x%02llX [%s]: %s, size %llu -> %llu",
                             static_cast<unsigned long long>(U64(e, "netfn")),
                             static_cast<unsigned long long>(U64(e, "lun")),
                             static_cast<unsigned long long>(U64(e, "command")),
                             SpacedHex(Text(e, "request")).c_str(), Text(e, "status").c_str(),
                             static_cast<unsigned long long>(U64(e, "size_in")),
                             static_cast<unsigned long long>(U64(e, "size_out"))));
    } else if (Is(e, "stall") && previous && Is(*previous, "ipmi")) {
      steps.push_back("stall " + Duration(U64(e, "us")));
    }
    previous = &e;
  }
  if (steps.empty())
    return steps;
  SectionLines lines = {"  " + Plural(requests, "request") + "; " +
                        (firstSuccess
                             ? "the first to succeed was number " + std::to_string(firstSuccess)
                             : std::string("none succeeded"))};
  for (std::string &line : FoldRepeats(steps, "  ", "attempts"))
    lines.push_back(std::move(line));
  return lines;
}

} // namespace boardsim::report
