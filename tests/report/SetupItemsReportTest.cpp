// The setup items section: the two MarkItem codes of each platform-signal arrival, decoded
// into the NIC family the handler found below the first bridge.
#include "ReportRun.h"

#include <gtest/gtest.h>

#include <cctype>

namespace boardsim::testing {
namespace {

constexpr std::string_view kItems = "Setup items marked";

// NIC 1's bridge 00:01.1 with buses 01-02; `nic` describes what sits on them.
std::string Board(const std::string &nic, int arrivals = 1) {
  std::string text = R"(
[pcd]
PcdNic1BridgeLocation = 0x0009
[[pci]]
bdf = "00:01.1"
kind = "bridge"
secondary = 1
subordinate = 2
)" + nic + R"(
[[boot]]
dispatch = "BoardInfoDxe"
)";
  for (int i = 0; i < arrivals; ++i)
    text += "[[boot]]\ndxe_install = \"PLATFORM_SIGNAL_PROTOCOL\"\n";
  return text;
}

struct Family {
  const char *name;
  const char *nic;
  const char *codes;
  const char *caseText;
  const char *found;
};

class SetupItemsReport : public ::testing::TestWithParam<Family> {};

TEST_P(SetupItemsReport, TheCodeLeftOutNamesTheNicFound) {
  ReportRun run(Board(GetParam().nic));
  EXPECT_EQ(run.LinesWith(kItems, GetParam().codes).size(), 1u) << run.report();
  EXPECT_EQ(run.LinesWith(kItems, GetParam().caseText).size(), 1u) << run.report();
  EXPECT_EQ(run.LinesWith(kItems, GetParam().found).size(), 1u) << run.report();
}

INSTANTIATE_TEST_SUITE_P(
    Families, SetupItemsReport,
    ::testing::Values(
        Family{"I350",
               "[[pci]]\nbdf = \"01:00.0\"\nkind = \"nic\"\nvendor = 0x8086\ndevice = 0x1521\n",
               "codes 0x706, 0x707", "case: Intel I350 found (0x705 left out)",
               "network controller 01:00.0, ID 8086:1521"},
        Family{"X540 on the second bus",
               "[[pci]]\nbdf = \"02:00.0\"\nkind = \"nic\"\nvendor = 0x8086\ndevice = 0x1528\n",
               "codes 0x705, 0x707", "case: Intel X540 or 82599 found (0x706 left out)",
               "network controller 02:00.0, ID 8086:1528"},
        Family{"another NIC",
               "[[pci]]\nbdf = \"01:00.0\"\nkind = \"nic\"\nvendor = 0x8086\ndevice = 0x10D3\n",
               "codes 0x705, 0x706", "case: another NIC, or none, found (0x707 left out)",
               "network controller 01:00.0, ID 8086:10D3"},
        Family{"no NIC", "", "codes 0x705, 0x706",
               "case: another NIC, or none, found (0x707 left out)", "; no network controller"}),
    [](const ::testing::TestParamInfo<Family> &info) {
      std::string name;
      for (const char *c = info.param.name; *c; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
      return name;
    });

TEST(SetupItemsReportEach, EveryArrivalIsDecodedOnItsOwn) {
  ReportRun run(Board("[[pci]]\nbdf = \"01:00.0\"\nkind = \"nic\"\nvendor = 0x8086\n"
                      "device = 0x1521\n",
                      2));
  EXPECT_EQ(run.LinesWith(kItems, "case: Intel I350 found").size(), 2u) << run.report();
}

} // namespace
} // namespace boardsim::testing
