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

// The failure text of the board plus `expects`, as `boardsim run` prints it.
std::string Failures(const std::string &expects) {
  const std::string text = std::string(kIntelBoard) + expects;
  LoadResult loaded = ParseBoardText(text, "expect.toml");
  if (!loaded.board)
    return "the board does not load";
  Scenario run(text);
  return RenderExpectations("expect.toml",
                            CheckExpectations(*loaded.board, run.final(), run.events()));
}

bool Has(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

TEST(ExpectationFailures, PcdsAreShownByNameInHexOnlyWhereTheyDiffer) {
  const std::string text = Failures("[[expect]]\npcd = { PcdNic1BridgeLocation = 0x9, "
                                    "PcdBoardDeviceCode = 0, \"777\" = 5 }\n");
  EXPECT_TRUE(Has(text, "expected: { PcdNic1BridgeLocation = 0x9, \"777\" = 0x5 }\n")) << text;
  EXPECT_TRUE(Has(text, "got:      { PcdNic1BridgeLocation = 0x8, \"777\" = 0x0 }\n")) << text;
  EXPECT_FALSE(Has(text, "PcdBoardDeviceCode")) << text; // it holds
}

TEST(ExpectationFailures, CodesAddressesAndRegisterValuesAreShownInHex) {
  const std::string text = Failures(R"([[expect]]
event = { ev = "pcd_get", token = 2, value = 9 }
[[expect]]
event = { ev = "alloc", space = "boot", size = 1 }
[[expect]]
error_stops = [0x90672]
)");
  // The closest event keeps its sequence number, token and width in decimal.
  EXPECT_TRUE(Has(text, "expected: { ev = \"pcd_get\", token = 2, value = 0x9 }\n")) << text;
  EXPECT_TRUE(Has(text, "\"pcd_get\", token = 2, width = 32, value = 0x8 }")) << text;
  // An address in hex, a size in decimal.
  EXPECT_TRUE(Has(text, "ev = \"alloc\", space = \"boot\", size = 589, addr = 0x")) << text;
  EXPECT_TRUE(Has(text, "expected: [0x90672]\n    got:      []\n")) << text;
}

TEST(ExpectationFailures, MacAddressesAreShownAsBoardsWriteThem) {
  const std::string text =
      Failures("[[expect]]\nmacs = [\"3c:fd:fe:a1:b2:c4\", \"00:00:00:00:00:01\"]\n");
  EXPECT_TRUE(Has(text, "expected: [\"3C:FD:FE:A1:B2:C4\", \"00:00:00:00:00:01\"]\n")) << text;
  EXPECT_TRUE(Has(text, "got:      [\"3C:FD:FE:A1:B2:C3\"]\n")) << text;
}

TEST(Expectations, AnOutcomeEntryReplacesTheImpliedOne) {
  EXPECT_EQ(Verdicts("[[expect]]\noutcome = \"halted\"\n"), (std::vector<bool>{false}));
  EXPECT_EQ(Verdicts("[[expect]]\noutcome = \"completed\"\n"), (std::vector<bool>{true}));
}

} // namespace
} // namespace boardsim::testing
