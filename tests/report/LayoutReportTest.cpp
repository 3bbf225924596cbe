// The report as a whole: it fits an 80-column terminal whatever the board, leaves out the
// sections with nothing to say, and ends with the outcome.
#include "ReportRun.h"

#include "Report/Report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace boardsim::testing {
namespace {

// The outcome with its continuation lines joined back.
std::string OneLine(std::string text) {
  for (size_t at; (at = text.find("\n  ")) != std::string::npos;)
    text.replace(at, 3, " ");
  return text;
}

void ExpectFitsEightyColumns(const std::string &text) {
  size_t number = 0;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    ++number;
    EXPECT_LE(line.size(), 80u) << "line " << number << ": " << line;
  }
}

TEST(ReportLayout, NoLineIsWiderThanEightyColumns) {
  const std::string longName =
      "name = \"a-board-whose-name-is-far-too-long-to-share-a-line-with-anything-else-at-"
      "all\"\n"
      "description = \"" +
      std::string(30, 'w') + " " + std::string(120, 'x') + " and some words after it\"\n";
  const std::string boards[] = {
      DefaultBoardText(),
      // Faults, failed entries and unloaded images, with a name wider than the terminal.
      longName + R"(
[setup]
present = false
[[fault]]
call = "dxe.CreateEvent"
[[fault]]
call = "smm.SmmAllocatePool"
nth = "all"
status = "EFI_OUT_OF_RESOURCES"
[cpu]
error_stop_probe = 1
[[boot]]
dispatch = "BoardInfoDxe"
[[boot]]
call = "BOARD_INFO_PROTOCOL.3"
[[boot]]
dispatch = "S3SaveSmm"
[[boot]]
smi = "power_button"
)",
      // Debug text on every channel and a halt in the error stop.
      R"(
[s3savesmm]
DebugPrintEnable = 1
SerialPortBase = 0x2F8
[[uart]]
base = 0x2F8
[[boot]]
dispatch = "S3SaveSmm"
[[boot]]
build_s3_table = { signature = 1 }
[[boot]]
signal = "ready_to_boot"
)"};
  for (const std::string &board : boards) {
    ReportRun run(board);
    ExpectFitsEightyColumns(run.report());
    ExpectFitsEightyColumns(RenderOutcome(run.board(), run.result()));
  }
}

TEST(ReportLayout, SectionsWithNothingToSayAreLeftOut) {
  const std::string_view dxeAndPeiOnly[] = {"PCI walk of GetNicMacAddresses", "Setup items marked",
                                            "Host registers written", "SMBus traffic",
                                            "IPMI traffic to the BMC"};
  ReportRun full(DefaultBoardText());
  ReportRun smmOnly("[[boot]]\ndispatch = \"S3SaveSmm\"\n");
  for (std::string_view title : dxeAndPeiOnly) {
    EXPECT_TRUE(full.HasSection(title)) << title;
    EXPECT_FALSE(smmOnly.HasSection(title)) << title;
  }
  // Nothing faulted, no text left the machine and no error stop happened in either run.
  for (std::string_view title : {"Faults", "Debug output", "POST codes and error stops"}) {
    EXPECT_FALSE(full.HasSection(title)) << title;
    EXPECT_FALSE(smmOnly.HasSection(title)) << title;
  }
  EXPECT_TRUE(smmOnly.HasSection("S3 save table and hand-over"));
  EXPECT_TRUE(smmOnly.HasSection("Timeline"));
}

TEST(ReportLayout, TheOutcomeNamesImagesWhoseEntryFailed) {
  ReportRun failed(R"(
[cpu]
error_stop_probe = 1
[[fault]]
call = "smm.EFI_SMM_SX_DISPATCH2_PROTOCOL.Register"
status = "EFI_NOT_FOUND"
[[boot]]
dispatch = "S3SaveSmm"
)");
  std::string outcome = OneLine(RenderOutcome(failed.board(), failed.result()));
  EXPECT_NE(outcome.find(": completed"), std::string::npos) << outcome;
  EXPECT_NE(outcome.find("S3SaveSmm#1 returned EFI_NOT_FOUND (unloaded)"), std::string::npos)
      << outcome;
  ReportRun stopped(R"(
[[fault]]
call = "smm.SmmAllocatePool"
nth = "all"
[[boot]]
dispatch = "S3SaveSmm"
)");
  outcome = OneLine(RenderOutcome(stopped.board(), stopped.result()));
  EXPECT_NE(outcome.find(": halted in error stop"), std::string::npos) << outcome;
  EXPECT_NE(outcome.find("S3SaveSmm#1 never returned from its entry point"), std::string::npos)
      << outcome;
  ReportRun run(DefaultBoardText());
  const std::vector<std::string> lines = run.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "-------") << "the report ends with the outcome";
}

TEST(ReportLayout, TheTimelineCountsAccessesInsteadOfListingThem) {
  ReportRun run(DefaultBoardText());
  size_t configAccesses = 0;
  bool inCall = false;
  for (const Json &e : run.events()) {
    if (e["ev"] == "call" || e["ev"] == "return")
      inCall = e["ev"] == "call";
    else if (inCall && e["ev"] == "pci_cfg")
      ++configAccesses;
  }
  ASSERT_GT(configAccesses, 0u);
  const std::vector<std::string> timeline = run.Section("Timeline");
  auto call = std::find_if(timeline.begin(), timeline.end(), [](const std::string &line) {
    return line.ends_with("calls GetNicMacAddresses");
  });
  ASSERT_NE(call, timeline.end()) << run.report();
  ASSERT_LT(call + 2, timeline.end());
  // Everything the call did in between is one counted line (wrapped at most once).
  EXPECT_NE(call[1].find("[" + std::to_string(configAccesses) + " config, "), std::string::npos)
      << call[1];
  const bool wrapped = call[2].find("GetNicMacAddresses returned") == std::string::npos;
  EXPECT_NE(call[wrapped ? 3 : 2].find("GetNicMacAddresses returned EFI_SUCCESS"),
            std::string::npos);
  EXPECT_LT(timeline.size() * 4, run.events().size()) << "one line per step, not per access";
  EXPECT_TRUE(timeline.back().ends_with("platform       boot script finished")) << timeline.back();
}

} // namespace
} // namespace boardsim::testing
