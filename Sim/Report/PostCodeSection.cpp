// Error stops and the POST-code display: each stop's code and meaning, whether it was released,
// and the code read back from the display the way an engineer reads a POST card.
#include "Report/ErrorStops.h"
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

namespace boardsim::report {
namespace {

constexpr size_t kDisplayShown = 24;

std::vector<uint32_t> Port80(const Json &final) {
  std::vector<uint32_t> values;
  for (const Json &value : final.value("port80", Json::array()))
    values.push_back(uint32_t(value.get<uint64_t>()));
  return values;
}

std::string DisplayDigits(const std::vector<uint32_t> &codes, size_t from) {
  std::string text;
  for (size_t i = from; i < codes.size(); ++i)
    text += (text.empty() ? "" : " ") + Format("%02X", codes[i] & 0xFF);
  return text;
}

} // namespace

Section PostCodeSection(const ReportInput &input) {
  Section section;
  const Json &stops = input.final.value("error_stops", Json::array());
  const bool halted = Text(input.final, "outcome") == "halted";
  std::vector<uint64_t> announced; // the events that announced them, as the timeline found them
  for (const TimelineStep &step : input.steps)
    if (step.kind == StepKind::ErrorStop)
      announced.push_back(step.seq);
  if (!stops.empty())
    section.tables.push_back({"error stops", {"code", "meaning", "afterwards"}, {}, {}});
  for (size_t i = 0; i < stops.size(); ++i) {
    const auto code = uint32_t(stops[i].get<uint64_t>());
    const std::string afterwards = halted && i + 1 == stops.size()
                                       ? "the processor stopped here; nothing released it"
                                       : "released by the debug agent; the caller went on";
    AddRow(section,
           {"  error stop " + Hex32(code) + ": " + ErrorStopMeaning(code), "    " + afterwards},
           {{Hex32(code), ErrorStopMeaning(code), afterwards},
            i < announced.size() ? std::optional(announced[i]) : std::nullopt});
  }
  const std::vector<uint32_t> codes = WithoutTextFrames(Port80(input.final));
  if (codes.empty())
    return section;
  const size_t from = codes.size() > kDisplayShown ? codes.size() - kDisplayShown : 0;
  const std::string caption =
      "POST display (low byte of port 0x80), last " + Plural(codes.size() - from, "write");
  section.lines.push_back("  " + caption + ":");
  section.tables.push_back({caption, {"display"}, {}, {}});
  AddRow(section, "    %s", {{DisplayDigits(codes, from)}});
  if (std::optional<uint32_t> shown = CodeOnPostDisplay(codes)) {
    std::string decoded = "the display cycles DE AD and the code " + Hex32(*shown);
    if (!stops.empty() && stops.back().get<uint64_t>() != *shown)
      decoded += ", not the last announced one";
    section.lines.push_back("  " + decoded);
    section.tables.back().notes.push_back(decoded);
  }
  return section;
}

} // namespace boardsim::report
