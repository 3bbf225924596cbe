// The MarkItem calls the platform-signal handler made, decoded: of the three item codes it
// passes two, and the one it leaves out names the NIC family it found below the first bridge.
#include "Devices/PciConfigImage.h"
#include "Report/ReportSections.h"
#include "Report/ReportText.h"

#include <algorithm>

namespace boardsim::report {
namespace {

constexpr uint64_t kNetworkClass = 0x02;

struct Case {
  uint64_t leftOut;
  const char *meaning;
};
constexpr Case kCases[] = {
    {0x705, "Intel I350 found"},
    {0x706, "Intel X540 or 82599 found"},
    {0x707, "another NIC, or none, found"},
};

// One run of the handler: what it probed and the codes it passed.
struct Signal {
  uint64_t t = 0, seq = 0; // of its first MarkItem call
  std::string image, item;
  std::vector<uint64_t> codes;
  std::string bridge, controller;
  std::optional<uint64_t> secondary, subordinate, id;
};

void Probe(Signal &signal, const Json &e) {
  if (!Is(e, "pci_cfg") || Text(e, "dir") != "read")
    return;
  const uint64_t offset = U64(e, "offset"), width = U64(e, "width");
  if (width == 8 && offset == kConfigSecondaryBus && signal.bridge.empty()) {
    signal.bridge = Text(e, "bdf");
    signal.secondary = U64(e, "value");
  } else if (width == 8 && offset == kConfigSubordinateBus && Text(e, "bdf") == signal.bridge) {
    signal.subordinate = U64(e, "value");
  } else if (width == 8 && offset == kConfigClassCode && U64(e, "value") == kNetworkClass) {
    signal.controller = Text(e, "bdf");
  } else if (width == 32 && offset == 0 && Text(e, "bdf") == signal.controller) {
    signal.id = U64(e, "value");
  }
}

std::string Decode(const std::vector<uint64_t> &codes) {
  for (const Case &c : kCases) {
    std::vector<uint64_t> others;
    for (const Case &other : kCases)
      if (other.leftOut != c.leftOut)
        others.push_back(other.leftOut);
    std::vector<uint64_t> sorted = codes;
    std::sort(sorted.begin(), sorted.end());
    if (sorted == others)
      return std::string(c.meaning) + " (" + Hex(c.leftOut) + " left out)";
  }
  return "not one of the three cases";
}

void Add(Section &section, const Signal &signal) {
  std::string codes;
  for (uint64_t code : signal.codes)
    codes += (codes.empty() ? "" : ", ") + Hex(code);
  std::vector<std::string> lines;
  lines.push_back(Format("  at %s by %s: item \"%s\", codes %s", Duration(signal.t).c_str(),
                         signal.image.c_str(), signal.item.c_str(), codes.c_str()));
  lines.push_back("    case: " + Decode(signal.codes));
  const std::string bridge = signal.bridge.empty() ? "-" : signal.bridge;
  std::string buses;
  if (signal.secondary && signal.subordinate)
    buses = Format("%02llx-%02llx", static_cast<unsigned long long>(*signal.secondary),
                   static_cast<unsigned long long>(*signal.subordinate));
  const std::string id = signal.id ? PciIdText(*signal.id) : "";
  std::string walk = "    bridge " + bridge + (buses.empty() ? "" : ", buses " + buses);
  if (!signal.controller.empty())
    walk += "; network controller " + signal.controller + (id.empty() ? "" : ", ID " + id);
  else
    walk += "; no network controller";
  lines.push_back(walk);
  AddRow(section, std::move(lines),
         {{Duration(signal.t), signal.image, signal.item, codes, Decode(signal.codes), bridge,
           buses, signal.controller.empty() ? "none" : signal.controller, id},
          signal.seq});
}

} // namespace

Section SetupItemsSection(const ReportInput &input) {
  std::vector<Signal> signals;
  Signal current;
  bool inMacCall = false;
  for (const Json &e : input.events) {
    if (Text(e, "target") == "GetNicMacAddresses")
      inMacCall = Is(e, "call");
    if (inMacCall)
      continue;
    if (Is(e, "notify")) {
      if (!current.codes.empty())
        signals.push_back(current);
      current = Signal{};
    } else if (Is(e, "mark_item")) {
      if (current.codes.empty()) {
        current.t = U64(e, "t_us");
        current.seq = U64(e, "seq");
        current.image = Text(e, "image");
        current.item = Text(e, "item_name");
      }
      current.codes.push_back(U64(e, "code"));
    } else {
      Probe(current, e);
    }
  }
  if (!current.codes.empty())
    signals.push_back(current);
  Section section;
  section.tables.push_back(
      {"",
       {"time", "image", "item", "codes", "case", "bridge", "buses", "network controller", "ID"},
       {},
       {}});
  for (const Signal &signal : signals)
    Add(section, signal);
  return section;
}

} // namespace boardsim::report
