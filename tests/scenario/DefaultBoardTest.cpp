// The built-in default board boots through PEI, DXE and SMM and ends with every module's work
// done: the end-to-end picture the other scenario tests take apart.
#include "Scenario.h"

#include <fstream>
#include <sstream>

namespace boardsim::testing {
namespace {

std::string DefaultBoardText() {
  std::ifstream file(BOARDFW_SOURCE_DIR "/boards/default.toml");
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(DefaultBoard, BootsThroughAllThreePhasesAndHandsTheS3TableOver) {
  Scenario run(DefaultBoardText());
  ASSERT_FALSE(run.halted());
  EXPECT_TRUE(run.Faults().empty());
  for (const Json &image : run.final()["images"]) {
    EXPECT_EQ(image["status"], "EFI_SUCCESS") << image["image"];
    EXPECT_EQ(image["unloaded"], false) << image["image"];
  }

  const Json &pcd = run.final()["pcd"];
  EXPECT_EQ(pcd["195"], 0x1265);
  EXPECT_EQ(pcd["196"], 5);
  EXPECT_EQ(pcd["232"], 0x12A);
  EXPECT_EQ(pcd["278"], 0x12);
  EXPECT_EQ(pcd["279"], 0x000000FF0000FF00ULL);

  // All four rules: I350 by the default rule, then Intel 700, Broadcom and Mellanox ("V3").
  Json macs = run.First("return", Field("target", "GetNicMacAddresses"));
  EXPECT_EQ(macs["buffer1"].get<std::string>().substr(6, 14), "013cecef102030");
  EXPECT_EQ(macs["buffer2"].get<std::string>().substr(0, 38),
            "033cfdfea0b1c2000af71122330002c9abcdf0");
  auto marks = run.Of("mark_item");
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_EQ(marks[0]["code"], 0x706);
  EXPECT_EQ(marks[1]["code"], 0x707);

  // The SMM driver stayed armed after its start-up: one hand-over at ready-to-boot.
  EXPECT_EQ(run.Of("communicate").size(), 1u);
  EXPECT_EQ(run.final()["s3_record"]["locked"], 1);
  EXPECT_EQ(run.final()["s3_record"]["closed"], 1);
  EXPECT_EQ(run.final()["s3_table"]["freed"], true);
  EXPECT_EQ(run.final()["s3_table"]["end_mark"], 0xFFFF);
  EXPECT_EQ(run.final()["heap_list"].size(), 2u);
  // One SMRAM range: the module's copy of the SMRAM map is one 32-byte descriptor.
  EXPECT_EQ(run.First("alloc", Field("space", "smram"))["size"], 32);
  EXPECT_TRUE(run.final()["error_stops"].empty());
}

} // namespace
} // namespace boardsim::testing
