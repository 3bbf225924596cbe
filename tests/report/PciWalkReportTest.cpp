// The PCI walk section: each NIC token's bridge, the controller found below it, the rule its
// MAC address was read by and the address the caller got.
#include "ReportRun.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>

namespace boardsim::testing {
namespace {

constexpr std::string_view kWalk = "PCI walk of GetNicMacAddresses";

std::string MacOf(const std::array<uint8_t, 6> &mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  return text;
}

// "0002C9ABCDF0" -> "00:02:c9:ab:cd:f0"
std::string MacOf(const std::string &hex) {
  std::string text;
  for (size_t i = 0; i < hex.size(); i += 2)
    text += (i ? ":" : "") + hex.substr(i, 2);
  for (char &c : text)
    c = char(std::tolower(c));
  return text;
}

const PciFunction *FunctionAt(const Board &board, const std::string &bdf) {
  for (const PciFunction &function : board.pci) {
    char text[16];
    std::snprintf(text, sizeof text, "%02x:%02x.%x", function.bdf.bus, function.bdf.device,
                  function.bdf.function);
    if (bdf == text)
      return &function;
  }
  return nullptr;
}

// The line that shows the controller at `bdf`.
std::string ControllerLine(const ReportRun &run, const std::string &bdf) {
  std::vector<std::string> lines = run.LinesWith(kWalk, "  " + bdf + "  ");
  EXPECT_EQ(lines.size(), 1u) << "controller " << bdf << " in\n" << run.report();
  return lines.empty() ? "" : lines.front();
}

TEST(PciWalkReport, DefaultBoardShowsEachNicWithItsRuleAndTheAddressTheBoardGaveIt) {
  ReportRun run(DefaultBoardText());
  const struct {
    const char *bdf;
    const char *rule;
  } kNics[] = {{"01:00.0", "default"},
               {"10:00.0", "Intel 700"},
               {"20:00.0", "Broadcom DSN"},
               {"81:00.0", "Mellanox VPD"}};
  for (const auto &nic : kNics) {
    const PciFunction *function = FunctionAt(run.board(), nic.bdf);
    ASSERT_NE(function, nullptr) << nic.bdf;
    // NIC 4 is not NIC 1, so the Mellanox rule reads the V3 keyword.
    std::string mac;
    if (function->mac)
      mac = MacOf(*function->mac);
    for (const VpdKeyword &keyword : function->vpd.value_or(std::vector<VpdKeyword>{}))
      if (keyword.keyword == "V3")
        mac = MacOf(keyword.value);
    const std::string line = ControllerLine(run, nic.bdf);
    EXPECT_NE(line.find(nic.rule), std::string::npos) << line;
    EXPECT_NE(line.find(mac), std::string::npos) << line;
  }
  EXPECT_EQ(run.LinesWith(kWalk, "buffer 1 holds 1 entry, buffer 2 holds 3 entries").size(), 1u)
      << run.report();
}

TEST(PciWalkReport, TranslatedSkippedAndEmptyBridgesAreToldApart) {
  ReportRun run(R"(
[host]
bus_group_size_minus_one = 7   # bus 0x80 is group 8: 8 x 8 = bus 0x40
[pcd]
PcdNic1BridgeLocation = 0
PcdNic2BridgeLocation = 0x8009
PcdNic3BridgeLocation = 0x0019
[[pci]]
bdf = "40:01.1"
kind = "bridge"
secondary = 0x41
subordinate = 0x41
[[pci]]
bdf = "41:00.0"
kind = "nic"
model = "broadcom"
mac = "00:0A:F7:01:02:03"
[[pci]]
bdf = "00:03.1"
kind = "bridge"
secondary = 0x30
subordinate = 0x30
[[boot]]
dispatch = "BoardInfoDxe"
[[boot]]
call = "GetNicMacAddresses"
)");
  EXPECT_EQ(run.LinesWith(kWalk, "NIC 1").size(), 1u);
  EXPECT_EQ(run.LinesWith(kWalk, "NIC 1  PcdNic1BridgeLocation 0x0: skipped").size(), 1u)
      << run.report();
  EXPECT_EQ(run.LinesWith(kWalk, "-> 40:01.1 (translated), buses 41-41").size(), 1u)
      << run.report();
  EXPECT_NE(ControllerLine(run, "41:00.0").find("00:0a:f7:01:02:03"), std::string::npos);
  EXPECT_EQ(run.LinesWith(kWalk, "30:00.0 absent").size(), 1u) << run.report();
  EXPECT_EQ(run.LinesWith(kWalk, "buffer 1 holds 0 entries, buffer 2 holds 1 entry").size(), 1u)
      << run.report();
}

// Each NIC without an address says why: which part of the board file left it without one.
TEST(PciWalkReport, EachNicWithoutAControllerSaysWhy) {
  ReportRun run(R"(
[pcd]
PcdNic1BridgeLocation = 0x0008
PcdNic2BridgeLocation = 0x0010
PcdNic3BridgeLocation = 0x0018
[[pci]]
bdf = "00:01.0"
kind = "bridge"
secondary = 1
subordinate = 2
[[pci]]
bdf = "05:00.0"
kind = "nic"
[[pci]]
bdf = "00:02.0"
kind = "bridge"
secondary = 0
subordinate = 0
[[boot]]
dispatch = "BoardInfoDxe"
[[boot]]
call = "GetNicMacAddresses"
)");
  EXPECT_EQ(run.LinesWith(kWalk, "no controller below the bridge: no NIC on buses 01-02").size(),
            1u)
      << run.report();
  EXPECT_EQ(run.LinesWith(kWalk, "NICs at 05:00.0 lie outside them").size(), 1u) << run.report();
  EXPECT_EQ(run.LinesWith(kWalk, "its bus range holds no bus to look on").size(), 1u)
      << run.report();
  EXPECT_EQ(run.LinesWith(kWalk, "the board file describes no function at").size(), 1u)
      << run.report();
}

// A NIC of the board file on the bus the driver looks on, but at another function than the
// layout selects: the walk names the function, why, and where the board's NIC is.
TEST(PciWalkReport, ANicAtAnotherFunctionThanTheLayoutSelectsIsNamed) {
  ReportRun run(R"(
[pcd]
PcdNic4BridgeLocation = 0x0020
PcdNicFunctionLayout = 2
[[pci]]
bdf = "00:04.0"
kind = "bridge"
secondary = 0x20
subordinate = 0x20
[[pci]]
bdf = "20:00.0"
kind = "nic"
[[boot]]
dispatch = "BoardInfoDxe"
[[boot]]
call = "GetNicMacAddresses"
)");
  std::string walk; // the walk's wrapped lines as one text
  for (const std::string &line : run.Section(kWalk))
    walk += " " + line.substr(line.find_first_not_of(' '));
  EXPECT_NE(walk.find("no controller at 20:00.1, where BoardInfoDxe looks"), std::string::npos)
      << walk;
  EXPECT_NE(walk.find("PcdNicFunctionLayout = 2 makes NIC 4 function 1"), std::string::npos)
      << walk;
  EXPECT_NE(walk.find("the board file's NIC below the bridge is 20:00.0"), std::string::npos)
      << walk;
  EXPECT_EQ(walk.find("lie outside"), std::string::npos) << walk;
}

TEST(PciWalkReport, ANicWhoseIdPicksAnotherRuleThanItsModelIsPointedOut) {
  // An Intel 700-series ID on a model that keeps its MAC at BAR0 + 0x5400: the module reads the
  // 700-series registers and gets zeros, and the report says why.
  ReportRun run(R"(
[pcd]
PcdNic1BridgeLocation = 0x0009
[[pci]]
bdf = "00:01.1"
kind = "bridge"
secondary = 1
subordinate = 1
[[pci]]
bdf = "01:00.0"
kind = "nic"
model = "generic"
device = 0x1572
mac = "3C:EC:EF:10:20:30"
[[boot]]
dispatch = "BoardInfoDxe"
[[boot]]
call = "GetNicMacAddresses"
)");
  const std::string line = ControllerLine(run, "01:00.0");
  EXPECT_NE(line.find("Intel 700 registers"), std::string::npos) << line;
  EXPECT_NE(line.find("00:00:00:00:00:00"), std::string::npos) << line;
  EXPECT_EQ(
      run.LinesWith(kWalk, "note: the board file keeps this NIC's MAC as model generic").size(), 1u)
      << run.report();
}

// A Mellanox controller whose VPD gave no address: the report says which of the reasons it was.
TEST(PciWalkReport, AZeroVpdAddressIsExplained) {
  const struct {
    const char *vpd;
    const char *reason;
  } kCases[] = {
      {"vpd_ready_after = \"never\"", "zero MAC: the VPD read timed out at 0x0"},
      {"vpd = [[\"VA\", \"1\"], [\"V3\", \"0002C9000002\"]]",
       "zero MAC: \"VA\" does not allow an address for this controller (VA = 1)"},
      {"vpd = [[\"PN\", \"X\"]]", "(no VA)"},
      {"vpd = [[\"VA\", \"2\"], [\"V2\", \"0002C9000001\"]]",
       "zero MAC: keyword V3 missing from the VPD"},
  };
  for (const auto &c : kCases) {
    SCOPED_TRACE(c.vpd);
    ReportRun run(std::string(R"(
[pcd]
PcdNic2BridgeLocation = 0x0008
[[pci]]
bdf = "00:01.0"
kind = "bridge"
secondary = 1
subordinate = 1
[[pci]]
bdf = "01:00.0"
kind = "nic"
model = "mellanox"
)") + c.vpd + R"(
[[boot]]
dispatch = "BoardInfoDxe"
[[boot]]
call = "GetNicMacAddresses"
)");
    EXPECT_EQ(run.LinesWith(kWalk, c.reason).size(), 1u) << run.report();
  }
}

TEST(PciWalkReport, EveryCallIsShownOnItsOwn) {
  ReportRun run(DefaultBoardText() + R"(
[[boot]]
dispatch = "BoardInfoDxe"
[[boot]]
call = "GetNicMacAddresses"
[[boot]]
call = "GetNicMacAddresses"
)");
  EXPECT_EQ(run.LinesWith(kWalk, "call at").size(), 2u) << run.report();
  EXPECT_EQ(run.LinesWith(kWalk, "NIC 4").size(), 2u) << run.report();
}

} // namespace
} // namespace boardsim::testing
