// Text that left the machine: each UART's output, the frames on the framed debug port, and what
// the debug agent collected at the I/O breakpoint.
#include "Expect/FramedText.h"
#include "Report/ErrorStops.h"
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

#include <sstream>

namespace boardsim::report {
namespace {

constexpr uint64_t kBreakpointPort = 0x99CC;

void AddText(Section &section, const std::string &channel, const std::vector<uint8_t> &bytes) {
  if (bytes.empty())
    return;
  std::vector<std::string> lines = {"  " + channel + ":"};
  // Verbatim, spaces kept: long lines are cut at the margin rather than word-wrapped.
  const std::string margin = "    | ";
  const size_t room = kReportWidth - margin.size();
  const std::string printable = PrintableText(bytes);
  std::istringstream text(printable);
  for (std::string line; std::getline(text, line);) {
    size_t at = 0;
    do {
      lines.push_back(margin + line.substr(at, room));
      at += room;
    } while (at < line.size());
  }
  AddRow(section, std::move(lines), {{channel, printable}});
}

std::vector<uint8_t> AgentText(const std::vector<Json> &events) {
  std::vector<uint8_t> text;
  for (const Json &e : events)
    if (Is(e, "io") && U64(e, "port") == kBreakpointPort && e.contains("text"))
      for (uint8_t byte : BytesFromHex(Text(e, "text")))
        text.push_back(byte);
  return text;
}

} // namespace

Section DebugOutputSection(const ReportInput &input) {
  Section section;
  section.tables.push_back({"", {"channel", "text"}, {}, {}});
  const Json uarts = input.final.value("uart_text", Json::object());
  for (const auto &[base, text] : uarts.items())
    if (text.is_string())
      AddText(section, "UART " + Hex(std::stoull(base)),
              Latin1Bytes(text.get_ref<const std::string &>()));
  const uint16_t framedPort = input.board.s3savesmm.FramedPortAddress;
  AddText(section, "frames on port " + Hex(framedPort), FramedText(input.events, framedPort));
  AddText(section, "debug agent at the I/O breakpoint", AgentText(input.events));
  return section;
}

} // namespace boardsim::report
