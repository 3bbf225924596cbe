#include "Report/Report.h"

#include "Report/ErrorStops.h"
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

#include <sstream>

namespace boardsim {

using namespace report;

namespace {

struct SectionKind {
  const char *title;
  Section (*render)(const ReportInput &);
};

constexpr SectionKind kSections[] = {
    {"Timeline", TimelineSection},
    {"Images", ImagesSection},
    {"Faults", FaultsSection},
    {"PCD values written", PcdWritesSection},
    {"PCI walk of GetNicMacAddresses", PciWalkSection},
    {"Setup items marked", SetupItemsSection},
    {"Host registers written", HostRegistersSection},
    {"SMBus traffic", SmbusSection},
    {"IPMI traffic to the BMC", IpmiSection},
    {"S3 save table and hand-over", S3HandOverSection},
    {"SMRAM heap list", HeapListSection},
    {"Debug output", DebugOutputSection},
    {"POST codes and error stops", PostCodeSection},
};

// Trailing blanks go; a line that is still too wide is wrapped under its own indentation.
void Emit(std::ostringstream &out, std::string line) {
  while (!line.empty() && line.back() == ' ')
    line.pop_back();
  if (line.size() <= kReportWidth) {
    out << line << '\n';
    return;
  }
  const size_t indent = line.find_first_not_of(' ');
  const std::string lead(indent, ' ');
  for (const std::string &piece : Wrap(std::string_view(line).substr(indent), lead, lead + "  "))
    out << piece << '\n';
}

void Heading(std::ostringstream &out, const std::string &title) {
  out << '\n' << title << '\n' << std::string(title.size(), '-') << '\n';
}

} // namespace

std::string RenderOutcome(const Board &board, const RunResult &result) {
  const Json &final = result.final;
  std::string text = board.name + ": ";
  const Json &stops = final.value("error_stops", Json::array());
  if (result.outcome == Outcome::Halted && !stops.empty()) {
    const auto code = uint32_t(stops.back().get<uint64_t>());
    text += "halted in error stop " + Hex32(code) + " (" + ErrorStopMeaning(code) + ")";
  } else {
    text += OutcomeName(result.outcome);
  }
  text += " after " + Duration(U64(final, "t_us")) + " of simulated time";
  const Json &images = final.value("images", Json::array());
  std::string failed;
  for (const Json &image : images) {
    if (Text(image, "status") == "EFI_SUCCESS")
      continue;
    failed += "; " + Text(image, "image") +
              (image["status"].is_null() ? " never returned from its entry point"
                                         : " returned " + Text(image, "status")) +
              (image.value("unloaded", false) ? " (unloaded)" : "");
  }
  if (failed.empty() && !images.empty())
    text += "; " + Plural(images.size(), "image") + ", all EFI_SUCCESS";
  text += failed;
  std::string lines;
  for (const std::string &line : Wrap(text, "", "  "))
    lines += line + '\n';
  return lines;
}

std::vector<ReportSection> ReportSections(const Board &board, const Json &final,
                                          const std::vector<Json> &events,
                                          const std::vector<TimelineStep> &steps) {
  const ReportInput input{board, final, events, steps};
  std::vector<ReportSection> sections;
  for (const SectionKind &kind : kSections) {
    Section content = kind.render(input);
    if (!content.lines.empty())
      sections.push_back({kind.title, std::move(content)});
  }
  return sections;
}

std::string RenderReport(const Board &board, const RunResult &result,
                         const std::vector<Json> &events) {
  std::ostringstream out;
  for (const std::string &line :
       Wrap(board.description.empty() ? board.name : board.name + ": " + board.description,
            "Board ", "  "))
    Emit(out, line);
  for (ReportSection &section :
       ReportSections(board, result.final, events, TimelineSteps(events, result.final))) {
    Heading(out, section.title);
    for (std::string &line : section.content.lines)
      Emit(out, std::move(line));
  }
  Heading(out, "Outcome");
  out << RenderOutcome(board, result);
  return out.str();
}

} // namespace boardsim
