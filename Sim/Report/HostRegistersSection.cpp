// Registers written through the host register window: the value the board gave them, the value
// they ended with, and the bits that changed.
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

namespace boardsim::report {
namespace {

uint32_t InitialValue(const HostConfig &host, uint64_t instance, uint64_t index) {
  uint32_t value = 0;
  for (const HostRegister &r : host.registers)
    if (r.instance == instance && r.index == index)
      value = r.value;
  if (instance == 0 && index == kBusGroupRegisterIndex)
    value = (value & 0x00FFFFFF) | uint32_t{host.bus_group_size_minus_one} << 24;
  return value;
}

std::string BitList(uint32_t bits) {
  std::string text;
  for (int bit = 31; bit >= 0; --bit)
    if (bits >> bit & 1)
      text += (text.empty() ? "" : ",") + std::to_string(bit);
  return text;
}

} // namespace

Section HostRegistersSection(const ReportInput &input) {
  Section section;
  const Json &written = input.final.value("host_registers", Json::array());
  if (written.empty())
    return section;
  section.tables.push_back({"", {"instance", "index", "before", "after", "bits"}, {}, {}});
  section.lines.push_back(LayOut("  %8s  %-10s  %-10s    %-10s  %s", section.tables[0].headings));
  for (const Json &r : written) {
    const uint64_t instance = U64(r, "instance"), index = U64(r, "index");
    const uint32_t before = InitialValue(input.board.host, instance, index);
    const auto after = uint32_t(U64(r, "value"));
    std::string change;
    if (const uint32_t set = after & ~before)
      change += "set bit" + std::string(set & (set - 1) ? "s " : " ") + BitList(set);
    if (const uint32_t cleared = before & ~after)
      change += (change.empty() ? "" : "; ") + std::string("cleared bit") +
                (cleared & (cleared - 1) ? "s " : " ") + BitList(cleared);
    AddRow(section, "  %8s  %s  %s -> %s  %s",
           {{std::to_string(instance), Hex32(index), Hex32(before), Hex32(after),
             change.empty() ? "unchanged" : change}});
  }
  return section;
}

} // namespace boardsim::report
