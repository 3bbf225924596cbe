// [[expect]] entries checked against real runs: each kind's pass and failure, the modifiers that
// count and order events, and the outcome a board with expectations implies.
#include "Expect/Expectations.h"
#include "Scenario.h"

#include <string>

namespace boardsim::testing {
namespace {

constexpr char kIntelBoard[] = R"(
[pcd]
PcdNic1BridgeLocation = 0x0008
[[pci]]
bdf = "00:01.0"
kind = "bridge"
secondary = 1
subordinate = 1
[[pci]]
bdf = "01:00.0"
kind = "nic"
model = "intel700"
mac = "3C:FD:FE:A1:B2:C3"
[[boot]]
dispatch = "BoardInfoDxe"
[[boot]]
call = "GetNicMacAddresses"
[[boot]]
call = "GetNicMacAddresses"
buffer1 = "null"
)";

// The verdict of each expectation (after the implied outcome, if any) for the board plus `expects`.
std::vector<bool> Verdicts(const std::string &expects) {
  const std::string text = std::string(kIntelBoard) + expects;
  LoadResult loaded = ParseBoardText(text, "expect.toml");
  EXPECT_TRUE(loaded.board) << (loaded.errors.empty() ? "" : loaded.errors[0].ToString());
  if (!loaded.board)
    return {};
  Scenario run(text);
  std::vector<bool> verdicts;
  for (const ExpectResult &r : CheckExpectations(*loaded.board, run.final(), run.events()))
    verdicts.push_back(r.passed);
  return verdicts;
}

TEST(Expectations, EachKindPassesOnTheRunAndFailsOnAnotherValue) {
  struct Case {
    const char *entry;
    bool holds;
  };
  const Case cases[] = {
      {"macs = [\"3C:FD:FE:A1:B2:C3\"]", true},
      {"macs = [\"3C:FD:FE:A1:B2:C4\"]", false},
      {"macs = [\"3C:FD:FE:A1:B2:C3\"]\ncall = 3", false}, // the run made two calls
      {"pcd = { PcdNic1BridgeLocation = 8, PcdBoardDeviceCode = 0 }", true},
      {"pcd = { PcdNic1BridgeLocation = 9 }", false},
      {"image = { image = \"BoardInfoDxe#1\", status = \"EFI_SUCCESS\" }", true},
      {"image = { image = \"BoardInfoDxe#2\" }", false},
      {"s3_record = \"none\"", true},
      {"error_stops = []", true},
      {"event = { ev = \"fault\" }\nnever = true", true},
      {"event = { ev = \"call\", target = \"GetNicMacAddresses\" }\ncount = 2", true},
      {"event = { ev = \"call\", target = \"GetNicMacAddresses\" }\ncount = 1", false},
      {"uart = \"anything\"", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.entry);
    const std::vector<bool> verdicts = Verdicts(std::string("[[expect]]\n") + c.entry + "\n");
    ASSERT_EQ(verdicts.size(), 2u); // the implied outcome, then the entry
    EXPECT_TRUE(verdicts[0]);
    EXPECT_EQ(verdicts[1], c.holds);
  }
}

TEST(Expectations, InOrderEntriesMatchOnlyAfterThePreviousMatch) {
  const std::string entry = "event = { ev = \"%s\", target = \"GetNicMacAddresses\" }\n"
                            "in_order = true\n";
  auto step = [&](const char *ev) {
    std::string text = "[[expect]]\n" + entry;
    text.replace(text.find("%s"), 2, ev);
    return text;
  };
  EXPECT_EQ(Verdicts(step("call") + step("return") + step("call") + step("return")),
            (std::vector<bool>{true, true, true, true, true}));
  // Two calls: a third in-order call finds nothing after the second.
  EXPECT_EQ(Verdicts(step("call") + step("call") + step("call")),
            (std::vector<bool>{true, true, true, false}));
}

TEST(Expectations, AnOutcomeEntryReplacesTheImpliedOne) {
  EXPECT_EQ(Verdicts("[[expect]]\noutcome = \"halted\"\n"), (std::vector<bool>{false}));
  EXPECT_EQ(Verdicts("[[expect]]\noutcome = \"completed\"\n"), (std::vector<bool>{true}));
}

} // namespace
} // namespace boardsim::testing
