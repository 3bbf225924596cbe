// The PCI tree each GetNicMacAddresses call walked, read back from its trace: the bridge every
// NIC token named, the bus the controller was found on, its ID, the rule its MAC address was
// read by (judged from where the reads went) and the address the caller got.
#include "Devices/PciConfigImage.h"
#include "Report/ReportSections.h"
#include "Report/ReportText.h"
#include "Report/VpdReadBack.h"

#include <map>

namespace boardsim::report {
namespace {

constexpr uint64_t kSerialNumberFirst = 0x140, kSerialNumberLast = 0x147;
constexpr uint64_t kIntelMacLow = 0x1E2120, kIntelMacHigh = 0x1E2140, kDefaultMac = 0x5400;
constexpr uint64_t kConfigAddressPort = 0xCF8;
constexpr uint32_t kAbsent = 0xFFFFFFFF;
constexpr uint64_t kFunctionLayoutToken = 251;
constexpr size_t kMacSize = 6, kFirstListOffset = 3;
constexpr char kZeroMac[] = "00:00:00:00:00:00";

const std::map<uint64_t, std::pair<int, const char *>> kNicTokens = {
    {2, {1, "PcdNic1BridgeLocation"}},
    {203, {2, "PcdNic2BridgeLocation"}},
    {204, {3, "PcdNic3BridgeLocation"}},
    {205, {4, "PcdNic4BridgeLocation"}}};

enum class Rule { None, Intel700, BroadcomDsn, MellanoxVpd, Default };

const char *RuleName(Rule rule) {
  switch (rule) {
  case Rule::Intel700:
    return "Intel 700 registers";
  case Rule::BroadcomDsn:
    return "Broadcom DSN";
  case Rule::MellanoxVpd:
    return "Mellanox VPD";
  case Rule::Default:
    return "default (BAR0+0x5400)";
  case Rule::None:
    break;
  }
  return "no address read";
}

Rule RuleOfModel(NicModel model) {
  switch (model) {
  case NicModel::Intel700:
    return Rule::Intel700;
  case NicModel::Broadcom:
    return Rule::BroadcomDsn;
  case NicModel::Mellanox:
    return Rule::MellanoxVpd;
  case NicModel::Generic:
    break;
  }
  return Rule::Default;
}

const char *ModelName(NicModel model) {
  switch (model) {
  case NicModel::Intel700:
    return "intel700";
  case NicModel::Broadcom:
    return "broadcom";
  case NicModel::Mellanox:
    return "mellanox";
  case NicModel::Generic:
    break;
  }
  return "generic";
}

struct NicWalk {
  int number = 0;
  const char *token = "";
  uint64_t location = 0;
  std::string bridge;
  std::optional<uint64_t> secondary, subordinate;
  std::string device;
  std::optional<uint64_t> id;
  uint64_t bar0 = 0;
  Rule rule = Rule::None;
  std::string mac;
  VpdReadBack vpd;

  bool Present() const { return id && *id != kAbsent; }
};

struct MacCall {
  uint64_t t = 0;
  std::optional<uint64_t> layout;
  std::vector<NicWalk> nics;
  Json returned;
};

// Follows one call's accesses, attributing each to the NIC whose token was read last.
void Follow(MacCall &call, const Json &e) {
  if (Is(e, "pcd_get")) {
    const uint64_t token = U64(e, "token");
    if (token == kFunctionLayoutToken)
      call.layout = U64(e, "value");
    else if (auto it = kNicTokens.find(token); it != kNicTokens.end()) {
      NicWalk nic;
      nic.number = it->second.first;
      nic.token = it->second.second;
      nic.location = U64(e, "value");
      call.nics.push_back(nic);
    }
    return;
  }
  if (call.nics.empty())
    return;
  NicWalk &nic = call.nics.back();
  const uint64_t offset = U64(e, "offset"), width = U64(e, "width");
  const bool read = Text(e, "dir") == "read";
  if (Is(e, "pci_cfg") && nic.Present() && Text(e, "bdf") == nic.device)
    nic.vpd.Follow(e);
  if (Is(e, "pci_cfg") && read) {
    const std::string bdf = Text(e, "bdf");
    if (width == 8 && offset == kConfigSecondaryBus && nic.bridge.empty()) {
      nic.bridge = bdf;
      nic.secondary = U64(e, "value");
    } else if (width == 8 && offset == kConfigSubordinateBus && bdf == nic.bridge) {
      nic.subordinate = U64(e, "value");
    } else if (width == 32 && offset == 0 && !nic.bridge.empty() && !nic.id) {
      nic.device = bdf;
      nic.id = U64(e, "value");
    } else if (bdf == nic.device && width == 32 && offset == kConfigBar0) {
      nic.bar0 = U64(e, "value") & ~uint64_t{0xF};
    } else if (bdf == nic.device && offset >= kSerialNumberFirst && offset <= kSerialNumberLast) {
      nic.rule = Rule::BroadcomDsn;
    }
  } else if (Is(e, "io") && U64(e, "port") == kConfigAddressPort && nic.Present()) {
    nic.rule = Rule::MellanoxVpd; // the VPD capability is looked for through the I/O ports
  } else if (Is(e, "mmio") && read && nic.Present()) {
    const uint64_t at = U64(e, "addr") - nic.bar0;
    if (at >= kIntelMacLow && at < kIntelMacHigh + 2)
      nic.rule = Rule::Intel700;
    else if (at >= kDefaultMac && at < kDefaultMac + kMacSize)
      nic.rule = Rule::Default;
  }
}

// The MAC lists in the caller's buffers: the first at byte 3 of buffer 1 (NIC 1), the second at
// byte 0 of buffer 2 (NICs 2-4, in the order found).
std::vector<std::string> MacList(const Json &buffer, size_t offset) {
  std::vector<std::string> macs;
  if (!buffer.is_string())
    return macs;
  const std::vector<uint8_t> bytes = BytesFromHex(buffer.get<std::string>());
  if (bytes.size() <= offset)
    return macs;
  for (size_t k = 0; k < bytes[offset]; ++k) {
    const size_t at = offset + 1 + kMacSize * k;
    macs.push_back(at + kMacSize <= bytes.size() ? MacText(&bytes[at]) : "(beyond the buffer)");
  }
  return macs;
}

std::string ListSummary(const Json &buffer, size_t offset, const char *name) {
  if (!buffer.is_string())
    return std::string(name) + " was NULL";
  const std::vector<uint8_t> bytes = BytesFromHex(buffer.get<std::string>());
  return std::string(name) + (bytes.size() > offset ? " holds " + Plural(bytes[offset], "entry")
                                                    : " is too short for a count");
}

void AssignMacs(MacCall &call) {
  const std::vector<std::string> first = MacList(call.returned["buffer1"], kFirstListOffset);
  const std::vector<std::string> second = MacList(call.returned["buffer2"], 0);
  size_t nextSecond = 0;
  for (NicWalk &nic : call.nics) {
    if (!nic.Present())
      continue;
    if (nic.number == 1)
      nic.mac = first.empty() ? "not in list 1" : first.front();
    else
      nic.mac = nextSecond < second.size() ? second[nextSecond++] : "not in list 2";
  }
}

std::string BdfOf(const PciFunction &function) {
  return BdfText(uint64_t{function.bdf.bus} << 8 | function.bdf.device << 3 |
                 function.bdf.function);
}

const PciFunction *BoardFunction(const Board &board, const std::string &bdf) {
  for (const PciFunction &function : board.pci)
    if (BdfOf(function) == bdf)
      return &function;
  return nullptr;
}

// Why the controller is looked for at that function: NIC 1 is always function 0, NICs 2-4 take
// theirs from PcdNicFunctionLayout.
std::string FunctionChoice(const NicWalk &nic, std::optional<uint64_t> layout) {
  const std::string function = std::to_string(nic.device.empty() ? 0 : nic.device.back() - '0');
  if (nic.number == 1)
    return "NIC 1 is always function 0";
  if (!layout)
    return "NIC " + std::to_string(nic.number) + " is function " + function;
  return "PcdNicFunctionLayout = " + std::to_string(*layout) + " makes NIC " +
         std::to_string(nic.number) + " function " + function;
}

// Why a NIC token led to no controller, and so to no address in the caller's lists: what the
// board file describes at the bridge and below it, and where the driver looked.
std::string NoControllerReason(const Board &board, const NicWalk &nic,
                               std::optional<uint64_t> layout) {
  const PciFunction *bridge = BoardFunction(board, nic.bridge);
  if (!bridge)
    return "no controller below the bridge: the board file describes no function at " + nic.bridge +
           ", so its bus numbers read all ones";
  if (bridge->kind != PciKind::Bridge)
    return "no controller below the bridge: " + nic.bridge + " is not a bridge in the board file";
  if (!nic.secondary || !nic.subordinate || *nic.secondary == 0 ||
      *nic.subordinate < *nic.secondary)
    return "no controller below the bridge: its bus range holds no bus to look on";
  std::vector<std::string> inside, elsewhere;
  for (const PciFunction &function : board.pci)
    if (function.kind == PciKind::Nic)
      (function.bdf.bus < *nic.secondary || function.bdf.bus > *nic.subordinate ? elsewhere
                                                                                : inside)
          .push_back(BdfOf(function));
  // The driver looks at device 0 of the last bus whose 00.0 answers, at the layout's function.
  if (!inside.empty())
    return "no controller at " + nic.device +
           ", where BoardInfoDxe looks (device 0 of the last bus below the bridge whose 00.0 " +
           "answers; " + FunctionChoice(nic, layout) + "); the board file's NIC" +
           (inside.size() > 1 ? "s" : "") + " below the bridge " +
           (inside.size() > 1 ? "are " : "is ") + inside.front() +
           (inside.size() > 1 ? " and others" : "") + ", so this NIC gets no entry in the lists";
  std::string reason = Format("no controller below the bridge: no NIC on buses %02llx-%02llx",
                              static_cast<unsigned long long>(*nic.secondary),
                              static_cast<unsigned long long>(*nic.subordinate));
  if (!elsewhere.empty())
    reason += " (the board file's NICs at " + elsewhere.front() +
              (elsewhere.size() > 1 ? " and others" : "") + " lie outside them)";
  return reason + "; this NIC gets no entry in the lists";
}

// One NIC's lines and row: the head line names the token and the bridge, the lines under it
// the controller, its rule and address, or why there is none.
void AddNic(Section &section, const Board &board, const NicWalk &nic,
            std::optional<uint64_t> layout) {
  std::vector<std::string> lines;
  Row row({std::to_string(nic.number), nic.token, Hex(nic.location)});
  std::vector<std::string> notes;
  auto add = [&] {
    row.cells.resize(9);
    std::string joined;
    for (const std::string &note : notes)
      joined += (joined.empty() ? "" : "; ") + note;
    row.cells.push_back(joined);
    AddRow(section, std::move(lines), std::move(row));
  };
  std::string head = Format("  NIC %d  %s %s", nic.number, nic.token, Hex(nic.location).c_str());
  if (nic.bridge.empty()) {
    lines.push_back(head + ": skipped, not a valid bridge location");
    notes.push_back("skipped, not a valid bridge location");
    return add();
  }
  std::string bridge = nic.bridge;
  if (nic.bridge != BdfText(nic.location & 0xFFFF))
    bridge += " (translated)";
  head += " -> " + bridge;
  row.cells.push_back(bridge);
  std::string buses;
  if (nic.secondary && nic.subordinate)
    buses = Format("%02llx-%02llx", static_cast<unsigned long long>(*nic.secondary),
                   static_cast<unsigned long long>(*nic.subordinate));
  row.cells.push_back(buses);
  lines.push_back(buses.empty() ? head : head + ", buses " + buses);
  if (!nic.id) {
    lines.push_back("         no controller looked for");
    notes.push_back("no controller looked for");
    return add();
  }
  row.cells.push_back(nic.device);
  if (!nic.Present()) {
    row.cells.push_back("absent");
    lines.push_back("         " + nic.device + " absent (its ID reads all ones)");
    notes.push_back("its ID reads all ones; " + NoControllerReason(board, nic, layout));
    AddWrapped(lines, "         ", NoControllerReason(board, nic, layout));
    return add();
  }
  row.cells.insert(row.cells.end(), {PciIdText(*nic.id), RuleName(nic.rule), nic.mac});
  lines.push_back(Format("         %s  %s  %-22s %s", nic.device.c_str(),
                         PciIdText(*nic.id).c_str(), RuleName(nic.rule), nic.mac.c_str()));
  // Only NIC 1 takes the "V2" address; NICs 2-4 take "V3".
  if (nic.rule == Rule::MellanoxVpd && nic.mac == kZeroMac) {
    notes.push_back("zero MAC: " + nic.vpd.ZeroMacReason(nic.number == 1 ? 1 : 2));
    lines.push_back("         " + notes.back());
  }
  const PciFunction *function = BoardFunction(board, nic.device);
  if (function && function->kind == PciKind::Nic && RuleOfModel(function->model) != nic.rule) {
    notes.push_back(std::string("the board file keeps this NIC's MAC as model ") +
                    ModelName(function->model));
    lines.push_back("         note: " + notes.back());
  }
  add();
}

void AddCall(Section &section, const Board &board, const MacCall &call, bool several) {
  Table table{
      "",
      {"NIC", "token", "location", "bridge", "buses", "controller", "ID", "rule", "MAC", "notes"},
      {},
      {}};
  if (several) {
    section.lines.push_back("call at " + SimTime(call.t) + ":");
    table.caption = "call at " + Duration(call.t);
  }
  if (call.layout) {
    const std::string layout = "PcdNicFunctionLayout = " + std::to_string(*call.layout);
    section.lines.push_back("  " + layout);
    table.caption += (table.caption.empty() ? "" : "; ") + layout;
  }
  section.tables.push_back(std::move(table));
  for (const NicWalk &nic : call.nics)
    AddNic(section, board, nic, call.layout);
  const std::string returned =
      call.returned.is_null()
          ? "the call did not return"
          : "returned: " + ListSummary(call.returned["buffer1"], kFirstListOffset, "buffer 1") +
                ", " + ListSummary(call.returned["buffer2"], 0, "buffer 2");
  section.lines.push_back("  " + returned);
  section.tables.back().notes.push_back(returned);
}

} // namespace

Section PciWalkSection(const ReportInput &input) {
  std::vector<MacCall> calls;
  bool inCall = false;
  for (const Json &e : input.events) {
    const bool macCall = Text(e, "target") == "GetNicMacAddresses";
    if (Is(e, "call") && macCall) {
      calls.emplace_back().t = U64(e, "t_us");
      inCall = true;
    } else if (Is(e, "return") && macCall && inCall) {
      calls.back().returned = e;
      AssignMacs(calls.back());
      inCall = false;
    } else if (inCall) {
      Follow(calls.back(), e);
    }
  }
  Section section;
  for (const MacCall &call : calls)
    AddCall(section, input.board, call, calls.size() > 1);
  return section;
}

} // namespace boardsim::report
