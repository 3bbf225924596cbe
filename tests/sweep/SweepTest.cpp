// The sweep's judgement of one faulted run against the clean one, the call sites it derives
// from the calls a run made, and the pinned classification file and its comparison.
#include "Core/Faults.h"
#include "Sweep/SweepFile.h"
#include "Sweep/SweepTable.h"

#include <gtest/gtest.h>

namespace boardsim {
namespace {

Observation Clean() {
  return {Json::parse(R"({"seq": 10, "t_us": 500, "outcome": "completed",
      "pcd": {"195": 1, "552": "address"}, "s3_record": {"locked": 1, "closed": 0},
      "images": [{"image": "S3SaveSmm#1", "status": "EFI_SUCCESS", "unloaded": false}],
      "error_stops": []})"),
          {"debug agent: hand-over text not readable"}};
}

TEST(SweepClassify, ComparesResultsNotTimeOrSequence) {
  Observation run = Clean();
  run.final["seq"] = 7;
  run.final["t_us"] = 100;
  EXPECT_EQ(Classify(Clean(), run, "EFI_NOT_FOUND"), Verdict{});

  run.final["pcd"]["195"] = 0;
  run.final["s3_record"]["locked"] = 0;
  run.final["port80"] = Json::array({0x11});
  EXPECT_EQ(Classify(Clean(), run, "EFI_NOT_FOUND"),
            (Verdict{VerdictKind::Changed, "pcd.195 port80 s3_record.locked"}));
}

TEST(SweepClassify, NamesTheImageThatReturnsAnError) {
  Observation run = Clean();
  run.final["images"][0]["status"] = "EFI_NOT_FOUND";
  run.final["images"][0]["unloaded"] = true;
  EXPECT_EQ(Classify(Clean(), run, "EFI_NOT_FOUND"),
            (Verdict{VerdictKind::ImageError, "S3SaveSmm#1 passes it on"}));
  EXPECT_EQ(Classify(Clean(), run, "EFI_DEVICE_ERROR"),
            (Verdict{VerdictKind::ImageError, "S3SaveSmm#1 returns EFI_NOT_FOUND"}));
  // A warning returned from an entry is a changed result, not an image error.
  run.final["images"][0]["status"] = "EFI_WARN_STALE_DATA";
  EXPECT_EQ(Classify(Clean(), run, "EFI_WARN_STALE_DATA").kind, VerdictKind::Changed);
}

TEST(SweepClassify, NewFaultsOutrankAHaltAndAHaltOutranksChanges) {
  Observation run = Clean();
  run.final["outcome"] = "halted";
  run.final["error_stops"] = Json::array({0x90875});
  run.final["pcd"]["195"] = 0;
  EXPECT_EQ(Classify(Clean(), run, "EFI_OUT_OF_RESOURCES"),
            (Verdict{VerdictKind::Halted, "error stop 0x90875"}));
  run.faults.push_back("call into an unloaded image");
  run.faults.push_back("call through a null interface pointer");
  // The fault the clean run already had does not count.
  EXPECT_EQ(Classify(Clean(), run, "EFI_OUT_OF_RESOURCES"),
            (Verdict{VerdictKind::Fault, "call into an unloaded image (+1 more)"}));
}

TEST(SweepClassify, HaltingLikeTheCleanRunIsNoHalt) {
  Observation clean = Clean();
  clean.final["outcome"] = "halted";
  clean.final["error_stops"] = Json::array({0x70177});
  EXPECT_EQ(Classify(clean, clean, "EFI_NOT_FOUND"), Verdict{});
}

TEST(SweepCallSites, CountsEachCallPerImageAndLeavesThePlatformOut) {
  std::vector<CheckedCall> calls = {{"smm.SmmAllocatePool", "S3SaveSmm#1", ""},
                                    {"dxe.InstallProtocolInterface", "platform", "X"},
                                    {"smm.SmmAllocatePool", "S3SaveSmm#2", ""},
                                    {"smm.SmmAllocatePool", "S3SaveSmm#1", ""},
                                    {"smm.LocateProtocol", "S3SaveSmm#1", "PCD_PROTOCOL"}};
  std::vector<CallSite> expected = {{"smm.SmmAllocatePool", "S3SaveSmm#1", 1, ""},
                                    {"smm.SmmAllocatePool", "S3SaveSmm#2", 1, ""},
                                    {"smm.SmmAllocatePool", "S3SaveSmm#1", 2, ""},
                                    {"smm.LocateProtocol", "S3SaveSmm#1", 1, "PCD_PROTOCOL"}};
  EXPECT_EQ(CallSitesOf(calls), expected);
}

TEST(SweepStatuses, EveryStatusIsOneAFaultMayGive) {
  std::vector<std::string> all = AllSweepStatuses();
  EXPECT_EQ(all.size(), 36u);
  for (const std::string &status : DefaultSweepStatuses())
    EXPECT_NE(std::find(all.begin(), all.end(), status), all.end()) << status;
}

SweepResult Pinned() {
  SweepResult result{"default", {"EFI_NOT_FOUND", "EFI_WARN_STALE_DATA"}, {}, {}};
  result.sites = {{"smm.SmmAllocatePool", "S3SaveSmm#1", 2, ""},
                  {"pei.LocatePpi", "BoardInfoPei#1", 1, "PCD_PPI"}};
  result.verdicts = {{{VerdictKind::Halted, "error stop 0x70177"}, {}},
                     {{VerdictKind::Changed, "pcd.195"}, {VerdictKind::Crash, "exit status 1"}}};
  return result;
}

TEST(SweepFile, ReadsBackWhatItWrites) {
  std::string problem;
  std::optional<SweepResult> read = SweepFromJson(SweepToJson(Pinned()), problem);
  ASSERT_TRUE(read) << problem;
  EXPECT_TRUE(CompareSweeps(Pinned(), *read).empty());
  EXPECT_EQ(read->verdicts, Pinned().verdicts);
  EXPECT_EQ(read->sites, Pinned().sites);

  EXPECT_FALSE(SweepFromJson("{\"sites\": []}", problem));
  EXPECT_FALSE(SweepFromJson(R"({"statuses": ["EFI_NOT_FOUND"], "sites": [{"call": "x",
      "image": "y", "nth": 1, "results": {"EFI_NOT_FOUND": "odd: x"}}]})",
                             problem));
  EXPECT_NE(problem.find("unknown result"), std::string::npos);
}

TEST(SweepFile, ListsEveryDifferenceFromThePinnedClassification) {
  SweepResult now = Pinned();
  now.verdicts[0][1] = {VerdictKind::Halted, "error stop 0x70177"};
  now.sites[1].nth = 2;
  std::vector<std::string> differences = CompareSweeps(Pinned(), now);
  ASSERT_EQ(differences.size(), 3u);
  EXPECT_EQ(differences[0], "smm.SmmAllocatePool S3SaveSmm#1 call 2, EFI_WARN_STALE_DATA: "
                            "pinned same, now halted (error stop 0x70177: no SMRAM for a heap "
                            "buffer of kind 8)");
  EXPECT_EQ(differences[1], "new call site: pei.LocatePpi BoardInfoPei#1 call 2 (PCD_PPI)");
  EXPECT_EQ(differences[2], "call site gone: pei.LocatePpi BoardInfoPei#1 call 1 (PCD_PPI)");

  now = Pinned();
  now.board = "other";
  EXPECT_EQ(CompareSweeps(Pinned(), now).size(), 1u);
  now.statuses = {"EFI_NOT_FOUND"};
  EXPECT_EQ(CompareSweeps(Pinned(), now).size(), 1u);
}

TEST(SweepTable, GroupsStatusesWithTheSameResultAndCountsEveryRun) {
  const std::string table = RenderSweepTable(Pinned());
  EXPECT_NE(table.find("smm.SmmAllocatePool S3SaveSmm#1 call 2\n"
                       "    halted (error stop 0x70177: no SMRAM for a heap buffer of kind 8): "
                       "NOT_FOUND\n"
                       "    same: WARN_STALE_DATA\n"),
            std::string::npos);
  EXPECT_NE(table.find("4 runs at 2 call sites: 1 same, 1 changed, 0 image error, 1 halted, "
                       "0 fault, 0 hang, 1 crash\n"),
            std::string::npos);
  // Each code of a halt is named; the classification file keeps the bare codes.
  const Verdict twoStops{VerdictKind::Halted, "error stop 0x90672 0x1234"};
  EXPECT_EQ(Describe(twoStops), "halted (error stop 0x90672: S3 save table signature is not "
                                "\"AS3T\"; 0x1234: unknown code)");
  EXPECT_NE(SweepToJson({"b", {"EFI_NOT_FOUND"}, {{"c", "i", 1, ""}}, {{twoStops}}})
                .find("\"halted: error stop 0x90672 0x1234\""),
            std::string::npos);
}

} // namespace
} // namespace boardsim
