// Error stops: the code and its meaning, whether the stop was released, and the code read back
// from the POST display of a halted run, also when debug text shares port 0x80.
#include "ReportRun.h"

#include "Report/ErrorStops.h"
#include "Report/Report.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace boardsim::testing {
namespace {

constexpr std::string_view kPost = "POST codes and error stops";

// S3SaveSmm alone, closing a table at ready-to-boot; `extra` adds or changes sections.
std::string S3Board(const std::string &table, const std::string &extra = "") {
  return extra + R"(
[[boot]]
dispatch = "S3SaveSmm"
[[boot]]
build_s3_table = )" +
         table + R"(
[[boot]]
signal = "ready_to_boot"
)";
}

struct HaltCase {
  const char *name;
  std::string board;
  const char *code;
  const char *meaning;
};

class HaltedRun : public ::testing::TestWithParam<HaltCase> {};

TEST_P(HaltedRun, TheDisplayIsReadBackIntoTheCodeThatStoppedTheRun) {
  ReportRun run(GetParam().board);
  ASSERT_EQ(run.result().outcome, Outcome::Halted);
  const std::string code = GetParam().code;
  EXPECT_EQ(run.LinesWith(kPost, "error stop " + code).size(), 1u) << run.report();
  EXPECT_EQ(run.LinesWith(kPost, GetParam().meaning).size(), 1u) << run.report();
  EXPECT_EQ(run.LinesWith(kPost, "the processor stopped here").size(), 1u);
  EXPECT_EQ(run.LinesWith(kPost, "the display cycles DE AD and the code " + code).size(), 1u)
      << run.report();
  const std::string outcome = RenderOutcome(run.board(), run.result());
  EXPECT_NE(outcome.find("halted in error stop " + code), std::string::npos) << outcome;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, HaltedRun,
    ::testing::Values(
        HaltCase{"Signature", S3Board("{ signature = 0x11111111 }"), "0x00090672",
                 "signature is not \"AS3T\""},
        HaltCase{"NoBuffer", S3Board("{}", "[pcd]\nPcdS3CommunicationBuffer = 0\n"), "0x00090821",
                 "PcdS3CommunicationBuffer names no usable buffer"},
        // Debug text frames go to port 0x80 too; the display still reads back the code.
        HaltCase{"WithDebugFrames",
                 S3Board("{ boundary_value = 0 }", "[s3savesmm]\nDebugPrintEnable = 1\n"),
                 "0x00090677", "boundary marker 0x01558844 missing"}),
    [](const ::testing::TestParamInfo<HaltCase> &info) { return info.param.name; });

TEST(ErrorStopReport, AReleasedStopIsReportedAndTheRunGoesOn) {
  ReportRun run(S3Board("{ signature = 0 }", "[cpu]\nerror_stop_probe = 1\n"));
  EXPECT_EQ(run.result().outcome, Outcome::Completed);
  EXPECT_EQ(run.LinesWith(kPost, "error stop 0x00090672").size(), 1u) << run.report();
  EXPECT_EQ(run.LinesWith(kPost, "released by the debug agent").size(), 1u) << run.report();
  EXPECT_TRUE(run.LinesWith(kPost, "the display cycles").empty()) << run.report();
  EXPECT_EQ(run.LinesWith("Timeline", "releases the error stop").size(), 1u) << run.report();
}

TEST(ErrorStopReport, FramedDebugTextIsShownAsTextNotAsPostCodes) {
  ReportRun run(S3Board("{ boundary_value = 0 }", "[s3savesmm]\nDebugPrintEnable = 1\n"));
  const std::vector<std::string> output = run.Section("Debug output");
  auto frames = std::find(output.begin(), output.end(), "  frames on port 0x80:");
  ASSERT_NE(frames, output.end()) << run.report();
  ASSERT_LT(frames + 2, output.end());
  EXPECT_EQ(frames[1], "    | TarnS3LibPrivateData allocation");
  EXPECT_EQ(frames[2], "    | TarnS3SaveCloseTableCallBack");
  for (const std::string &line : run.LinesWith(kPost, "    "))
    EXPECT_EQ(line.find("54 61 72 6E"), std::string::npos) << "text bytes on the display";
}

TEST(PostDisplay, TheLastCompleteShowingCounts) {
  // Low bytes as a two-digit POST card shows them; the upper bytes do not matter.
  const std::vector<uint32_t> twoCodes = {0x12DE, 0xAD, 0x00, 0x07, 0x01, 0x77,
                                          0xDE,   0xAD, 0x00, 0x09, 0x06, 0x72};
  EXPECT_EQ(report::CodeOnPostDisplay(twoCodes), 0x00090672u);
  const std::vector<uint32_t> cutShort = {0xDE, 0xAD, 0x00, 0x09, 0x06};
  EXPECT_EQ(report::CodeOnPostDisplay(cutShort), std::nullopt);
  EXPECT_EQ(report::CodeOnPostDisplay({}), std::nullopt);
}

TEST(PostDisplay, TextFramesAreDroppedEvenWhenTheKeptValuesStartInsideOne) {
  using report::kFrameEnd;
  using report::kFrameStart;
  const std::vector<uint32_t> port80 = {'x',         'y', kFrameEnd, 0x11,
                                        kFrameStart, 'T', kFrameEnd, 0x22};
  EXPECT_EQ(report::WithoutTextFrames(port80), (std::vector<uint32_t>{0x11, 0x22}));
  const std::vector<uint32_t> codesOnly = {0xDE, 0xAD};
  EXPECT_EQ(report::WithoutTextFrames(codesOnly), codesOnly);
}

TEST(PostDisplay, EveryKnownCodeHasItsOwnMeaningAndUnknownOnesNameTheirLibrary) {
  EXPECT_NE(report::ErrorStopMeaning(0x00090672), report::ErrorStopMeaning(0x00090677));
  EXPECT_EQ(report::ErrorStopMeaning(0x00071234), "unknown code of the heap transfer");
  EXPECT_EQ(report::ErrorStopMeaning(0x12345678), "unknown code");
}

} // namespace
} // namespace boardsim::testing
