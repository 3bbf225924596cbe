// The callback that runs when the board table apply service arrives: the segment-control write,
// the three tables passed from the source service to the apply service, and the device code
// read behind the bus selector.
#include "Scenario.h"

#include <cstdio>

namespace boardsim::testing {
namespace {

constexpr char kApplyCallback[] = "BOARD_TABLE_APPLY_PPI";
constexpr size_t kTableBytes = 60;

// The SMBus service arrives with no BMC transport, so the probe callback ends before touching
// the bus; the table services follow.
constexpr char kServicesAfterDispatch[] = R"(
[services]
BMC_TRANSPORT_PPI = false
[[boot]]
dispatch = "BoardInfoPei"
[[boot]]
pei_install = "EFI_PEI_SMBUS2_PPI"
[[boot]]
pei_install = "BOARD_TABLE_SOURCE_PPI"
[[boot]]
pei_install = "BOARD_TABLE_APPLY_PPI"
)";

// Distinct, short tables: the source pads each to 60 bytes.
constexpr char kTables[] = R"(
[board_tables]
first = "0102030405"
second = "A0A1A2"
third = "FE"
)";

constexpr char kDeviceCodeBefore[] = "[pcd]\nPcdBoardDeviceCode = 0x5555\n";

std::string Padded(const std::string &hex) {
  return hex + std::string(2 * kTableBytes - hex.size(), '0');
}

// Segment control, selector and the device-code device with registers 7 and 5.
std::string Devices(int r7, int r5, const std::string &selector = "",
                    const std::string &device = "") {
  return SmbusDevice(0x74, "regs = { 0 = 0x5A }") + SmbusDevice(0x71, selector) +
         SmbusDevice(0x33, "regs = { 7 = " + std::to_string(r7) + ", 5 = " + std::to_string(r5) +
                               " }\n" + device);
}

// The events of the hand-over callback's one run, from its start to its return.
std::vector<Json> HandOverRun(const Scenario &run) {
  long begin = run.IndexOf("notify", Field("name", kApplyCallback));
  long end = run.IndexOf("notify_return", Field("name", kApplyCallback));
  EXPECT_GE(begin, 0) << "the table apply callback never ran";
  EXPECT_GT(end, begin);
  if (begin < 0 || end < begin)
    return {};
  EXPECT_EQ(run.Of("notify", Field("name", kApplyCallback)).size(), 1u);
  return {run.events().begin() + begin, run.events().begin() + end + 1};
}

// One line per observable step of the callback, in order.
std::vector<std::string> Story(const std::vector<Json> &events) {
  std::vector<std::string> lines;
  for (const Json &e : events) {
    const std::string ev = e["ev"];
    if (ev == "smbus") {
      bool write = e["op"] == "write_byte";
      std::string line = std::string(write ? "write " : "read ") + HexByte(e["address"]) + "/" +
                         HexByte(e["command"]);
      if (write)
        line += " " + HexByte(e["data"]);
      if (e["status"] != "EFI_SUCCESS")
        line += " failed";
      else if (!write)
        line += " = " + HexByte(e["data"]);
      lines.push_back(line);
    } else if (ev == "ppi_locate" && e["name"] != "PCD_PPI") {
      lines.push_back("locate " + e["name"].get<std::string>() + " " +
                      e["status"].get<std::string>());
    } else if (ev == "table_get") {
      lines.push_back("get tables");
    } else if (ev == "table_apply") {
      lines.push_back("apply segment " + HexByte(e["segment"]));
    } else if (ev == "pcd_set") {
      lines.push_back("pcd " + std::to_string(e["token"].get<uint64_t>()) + " = 0x" +
                      HexByte(e["value"]) + "/" + std::to_string(e["width"].get<int>()));
    }
  }
  return lines;
}

TEST(TableHandOver, EverythingAnsweringRunsInOrder) {
  Scenario run(Devices(1, 0x2A) + kTables + kDeviceCodeBefore + kServicesAfterDispatch);
  std::vector<Json> handOver = HandOverRun(run);
  EXPECT_EQ(Story(handOver), (std::vector<std::string>{
                                 "locate EFI_PEI_SMBUS2_PPI EFI_SUCCESS",
                                 "write 74/00 00",
                                 "locate BOARD_TABLE_SOURCE_PPI EFI_SUCCESS",
                                 "get tables",
                                 "locate BOARD_TABLE_APPLY_PPI EFI_SUCCESS",
                                 "apply segment 08",
                                 "apply segment 04",
                                 "apply segment 02",
                                 "write 71/00 01",
                                 "read 33/07 = 01",
                                 "read 33/05 = 2a",
                                 "pcd 232 = 0x12a/32",
                                 "write 71/00 00",
                             }));
  EXPECT_EQ(ReturnedStatus(handOver), "EFI_SUCCESS");
  EXPECT_EQ(run.final()["smbus"]["116"]["0"], 0);
  EXPECT_EQ(run.final()["smbus"]["113"]["0"], 0);
  EXPECT_EQ(run.final()["pcd"]["232"], 0x12A);
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

// Each table goes to the apply service exactly as the source handed it out, with its segment.
TEST(TableHandOver, TablesPairWithTheirSegments) {
  Scenario run(Devices(0, 0) + kTables + kServicesAfterDispatch);
  std::vector<Json> handOver = HandOverRun(run);
  std::vector<Json> fetched = Only(handOver, "table_get");
  ASSERT_EQ(fetched.size(), 1u);
  EXPECT_EQ(fetched[0]["first"], Padded("0102030405"));
  EXPECT_EQ(fetched[0]["second"], Padded("a0a1a2"));
  EXPECT_EQ(fetched[0]["third"], Padded("fe"));

  std::vector<Json> applied = Only(handOver, "table_apply");
  ASSERT_EQ(applied.size(), 3u);
  const uint64_t segments[] = {0x08, 0x04, 0x02};
  const std::string tables[] = {Padded("0102030405"), Padded("a0a1a2"), Padded("fe")};
  for (size_t i = 0; i < applied.size(); ++i) {
    SCOPED_TRACE("apply call " + std::to_string(i + 1));
    EXPECT_EQ(applied[i]["bus"], 0x05);
    EXPECT_EQ(applied[i]["address"], 0xE2);
    EXPECT_EQ(applied[i]["segment"], segments[i]);
    EXPECT_EQ(applied[i]["table"], tables[i]);
    EXPECT_EQ(applied[i]["count"], 5);
  }
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

TEST(TableHandOver, DeviceCodeFromRegisterSevenOrFive) {
  struct Case {
    int r7, r5;
    uint64_t code;
    std::vector<std::string> reads;
  };
  const Case cases[] = {
      {0, 0x2A, 0x000, {"read 33/07 = 00"}},
      {1, 0x2A, 0x12A, {"read 33/07 = 01", "read 33/05 = 2a"}},
      {1, 0xFF, 0x1FF, {"read 33/07 = 01", "read 33/05 = ff"}},
      {1, 0x00, 0x100, {"read 33/07 = 01", "read 33/05 = 00"}},
      {2, 0x2A, 0x002, {"read 33/07 = 02"}},
      {0xFF, 0x2A, 0x0FF, {"read 33/07 = ff"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("R7=" + HexByte(c.r7) + " R5=" + HexByte(c.r5));
    Scenario run(Devices(c.r7, c.r5) + kDeviceCodeBefore + kServicesAfterDispatch);
    std::vector<Json> handOver = HandOverRun(run);
    std::vector<std::string> tail = {"write 71/00 01"};
    tail.insert(tail.end(), c.reads.begin(), c.reads.end());
    tail.push_back("pcd 232 = 0x" + HexByte(c.code) + "/32");
    tail.push_back("write 71/00 00");
    std::vector<std::string> story = Story(handOver);
    ASSERT_GE(story.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(story.end() - tail.size(), story.end()), tail);
    EXPECT_EQ(run.final()["pcd"]["232"], c.code);
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
}

// A selector or device failure leaves token 232 as the platform had it, and the selector is
// still released.
TEST(TableHandOver, DeviceCodeFailuresLeaveTheTokenAlone) {
  struct Case {
    const char *what;
    std::string devices;
    std::vector<std::string> tail;
  };
  const Case cases[] = {
      {"selector write fails",
       Devices(1, 0x2A, "fail_on = [1]"),
       {"write 71/00 01 failed", "write 71/00 00"}},
      {"register 7 read fails",
       Devices(1, 0x2A, "", "fail_on = [1]"),
       {"write 71/00 01", "read 33/07 failed", "write 71/00 00"}},
      {"register 5 read fails",
       Devices(1, 0x2A, "", "fail_on = [2]"),
       {"write 71/00 01", "read 33/07 = 01", "read 33/05 failed", "write 71/00 00"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Scenario run(c.devices + kDeviceCodeBefore + kServicesAfterDispatch);
    std::vector<Json> handOver = HandOverRun(run);
    std::vector<std::string> story = Story(handOver);
    ASSERT_GE(story.size(), c.tail.size());
    EXPECT_EQ(std::vector<std::string>(story.end() - c.tail.size(), story.end()), c.tail);
    EXPECT_TRUE(Only(handOver, "pcd_set").empty());
    EXPECT_EQ(Only(handOver, "table_apply").size(), 3u);
    EXPECT_EQ(ReturnedStatus(handOver), "EFI_SUCCESS");
    EXPECT_EQ(run.final()["pcd"]["232"], 0x5555);
    EXPECT_EQ(run.final()["smbus"]["113"]["0"], 0);
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
}

// The notification fires once: a callback that finds no SMBus service has no second chance.
TEST(TableHandOver, SmbusServiceAbsentAtArrivalDoesNothing) {
  Scenario run(Devices(1, 0x2A) + kDeviceCodeBefore + R"(
[services]
BMC_TRANSPORT_PPI = false
[[boot]]
dispatch = "BoardInfoPei"
[[boot]]
pei_install = "BOARD_TABLE_SOURCE_PPI"
[[boot]]
pei_install = "BOARD_TABLE_APPLY_PPI"
[[boot]]
pei_install = "EFI_PEI_SMBUS2_PPI"
)");
  std::vector<Json> handOver = HandOverRun(run);
  EXPECT_EQ(Story(handOver), std::vector<std::string>{"locate EFI_PEI_SMBUS2_PPI EFI_NOT_FOUND"});
  EXPECT_EQ(ReturnedStatus(handOver), "EFI_SUCCESS");
  EXPECT_TRUE(run.Of("smbus").empty());
  EXPECT_TRUE(run.Of("table_get").empty());
  EXPECT_TRUE(run.Of("table_apply").empty());
  EXPECT_TRUE(run.Of("pcd_set", Field("token", 232)).empty());
  EXPECT_EQ(run.final()["pcd"]["232"], 0x5555);
  EXPECT_EQ(run.final()["smbus"]["116"]["0"], 0x5A);
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

TEST(TableHandOver, MissingSourceLeavesOnlyTheSegmentControlWrite) {
  Scenario run(Devices(1, 0x2A, "regs = { 0 = 0x10 }") + kDeviceCodeBefore + R"(
[services]
BMC_TRANSPORT_PPI = false
[[boot]]
dispatch = "BoardInfoPei"
[[boot]]
pei_install = "EFI_PEI_SMBUS2_PPI"
[[boot]]
pei_install = "BOARD_TABLE_APPLY_PPI"
)");
  std::vector<Json> handOver = HandOverRun(run);
  EXPECT_EQ(Story(handOver), (std::vector<std::string>{
                                 "locate EFI_PEI_SMBUS2_PPI EFI_SUCCESS",
                                 "write 74/00 00",
                                 "locate BOARD_TABLE_SOURCE_PPI EFI_NOT_FOUND",
                             }));
  EXPECT_EQ(ReturnedStatus(handOver), "EFI_SUCCESS");
  EXPECT_EQ(run.final()["smbus"]["113"]["0"], 0x10);
  EXPECT_EQ(run.final()["pcd"]["232"], 0x5555);
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

// The apply service is looked up again inside the callback; when that lookup fails the fetched
// tables go nowhere, but the device code is still read.
TEST(TableHandOver, ApplyLookupFailingSkipsOnlyTheHandOver) {
  Scenario run(Devices(2, 0x2A) + kDeviceCodeBefore + R"(
[[fault]]
call = "pei.LocatePpi"
target = "BOARD_TABLE_APPLY_PPI"
nth = 1
status = "EFI_NOT_FOUND"
)" + kServicesAfterDispatch);
  std::vector<Json> handOver = HandOverRun(run);
  EXPECT_EQ(Story(handOver), (std::vector<std::string>{
                                 "locate EFI_PEI_SMBUS2_PPI EFI_SUCCESS",
                                 "write 74/00 00",
                                 "locate BOARD_TABLE_SOURCE_PPI EFI_SUCCESS",
                                 "get tables",
                                 "locate BOARD_TABLE_APPLY_PPI EFI_NOT_FOUND",
                                 "write 71/00 01",
                                 "read 33/07 = 02",
                                 "pcd 232 = 0x02/32",
                                 "write 71/00 00",
                             }));
  EXPECT_EQ(ReturnedStatus(handOver), "EFI_SUCCESS");
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

// Neither the segment-control write nor the two table services decide anything.
TEST(TableHandOver, ServiceResultsAreNotActedOn) {
  struct Case {
    const char *what;
    std::string board;
    bool fetched;
    std::vector<uint64_t> applied;
  };
  const Case cases[] = {
      {"segment control absent",
       SmbusDevice(0x74, "present = false") + SmbusDevice(0x71) +
           SmbusDevice(0x33, "regs = { 7 = 2 }"),
       true,
       {0x08, 0x04, 0x02}},
      {"source fails",
       Devices(2, 0) + "[[fault]]\ncall = \"pei.BOARD_TABLE_SOURCE_PPI.GetSegmentTables\"\n"
                       "status = \"EFI_DEVICE_ERROR\"\n",
       false,
       {0x08, 0x04, 0x02}},
      {"first apply fails",
       Devices(2, 0) + "[[fault]]\ncall = \"pei.BOARD_TABLE_APPLY_PPI.ApplySegmentTable\"\n"
                       "status = \"EFI_DEVICE_ERROR\"\n",
       true,
       {0x04, 0x02}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Scenario run(c.board + kServicesAfterDispatch);
    std::vector<Json> handOver = HandOverRun(run);
    EXPECT_EQ(Only(handOver, "table_get").size(), c.fetched ? 1u : 0u);
    std::vector<uint64_t> segments;
    for (const Json &e : Only(handOver, "table_apply"))
      segments.push_back(e["segment"]);
    EXPECT_EQ(segments, c.applied);
    std::vector<std::string> story = Story(handOver);
    ASSERT_GE(story.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(story.end() - 4, story.end()),
              (std::vector<std::string>{"write 71/00 01", "read 33/07 = 02", "pcd 232 = 0x02/32",
                                        "write 71/00 00"}));
    EXPECT_EQ(ReturnedStatus(handOver), "EFI_SUCCESS");
    EXPECT_EQ(run.Faults(), std::vector<std::string>{});
  }
}

// The probe leaves the selector at 0x10; the hand-over that follows selects the device-code
// device and then releases it.
TEST(TableHandOver, SelectorEndsReleasedAfterTheProbe) {
  Scenario run(Devices(1, 0x2A) + SmbusDevice(0x3A, "regs = { 0 = 0xA5 }") +
               SmbusDevice(0x3B, "regs = { 0 = 0x3C }") + SmbusDevice(0x3E, "regs = { 0 = 0x28 }") +
               R"(
[[boot]]
pei_install = "EFI_PEI_SMBUS2_PPI"
[[boot]]
dispatch = "BoardInfoPei"
[[boot]]
pei_install = "BOARD_TABLE_SOURCE_PPI"
[[boot]]
pei_install = "BOARD_TABLE_APPLY_PPI"
)");
  std::vector<uint64_t> selector;
  for (const Json &e : run.Of("smbus", Field("address", 0x71)))
    selector.push_back(e["data"]);
  EXPECT_EQ(selector, (std::vector<uint64_t>{0x10, 0x01, 0x00}));
  EXPECT_EQ(run.final()["smbus"]["113"]["0"], 0);
  EXPECT_EQ(run.final()["pcd"]["195"], 0x1265);
  EXPECT_EQ(run.final()["pcd"]["232"], 0x12A);
  EXPECT_EQ(run.Faults(), std::vector<std::string>{});
}

} // namespace
} // namespace boardsim::testing
