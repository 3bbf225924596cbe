// SMBus, IPMI and host-register sections: retries folded into counted blocks, and register
// changes measured against the values the board file gave.
#include "ReportRun.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace boardsim::testing {
namespace {

// The PEI probe alone: SMBus and BMC as given, then the module's SMBus callback.
std::string ProbeBoard(const std::string &devices) {
  return devices + R"(
[[boot]]
pei_install = "EFI_PEI_SMBUS2_PPI"
[[boot]]
dispatch = "BoardInfoPei"
)";
}

// The lines after the first one that contains `text`.
std::vector<std::string> After(const std::vector<std::string> &lines, std::string_view text,
                               size_t count) {
  auto it = std::find_if(lines.begin(), lines.end(), [&](const std::string &line) {
    return line.find(text) != std::string::npos;
  });
  if (it == lines.end() || size_t(lines.end() - it) <= count)
    return {};
  return {it + 1, it + 1 + count};
}

TEST(BusTrafficReport, TenFailedProbeAttemptsReadAsOneCountedBlock) {
  ReportRun run(ProbeBoard(R"(
[[smbus]]
address = 0x71
[[smbus]]
address = 0x3A
[[smbus]]
address = 0x3B
)")); // 0x3E is absent
  const std::vector<std::string> smbus = run.Section("SMBus traffic");
  const std::vector<std::string> attempt = After(smbus, "10 attempts, each:", 4);
  ASSERT_EQ(attempt.size(), 4u) << run.report();
  EXPECT_NE(attempt[0].find("0x71     write"), std::string::npos) << attempt[0];
  EXPECT_NE(attempt[1].find("0x3A     read"), std::string::npos) << attempt[1];
  EXPECT_NE(attempt[2].find("0x3B     read"), std::string::npos) << attempt[2];
  EXPECT_NE(attempt[3].find("0x3E     read"), std::string::npos) << attempt[3];
  EXPECT_NE(attempt[3].find("EFI_DEVICE_ERROR"), std::string::npos) << attempt[3];
  // Folded, the forty transactions take a heading, the block and nothing else.
  EXPECT_EQ(smbus.size(), 1u + 1u + 4u) << run.report();
}

TEST(BusTrafficReport, ASilentBmcShowsTenRequestsEachFollowedByAStall) {
  ReportRun run(ProbeBoard("[bmc]\nready_after = \"never\"\n"));
  const std::vector<std::string> ipmi = run.Section("IPMI traffic to the BMC");
  ASSERT_FALSE(ipmi.empty()) << run.report();
  EXPECT_EQ(ipmi.front(), "  10 requests; none succeeded");
  const std::vector<std::string> attempt = After(ipmi, "10 attempts, each:", 2);
  ASSERT_EQ(attempt.size(), 2u) << run.report();
  EXPECT_NE(attempt[0].find("NetFn 0x06 LUN 0 cmd 0x52 [05 e2 01 00]: EFI_DEVICE_ERROR"),
            std::string::npos)
      << attempt[0];
  EXPECT_EQ(attempt[1], "    stall 100 ms");
  // The timeline sums them up: a count and a total, in the report's one unit.
  EXPECT_NE(run.report().find("10 stalls,"), std::string::npos) << run.report();
  EXPECT_NE(run.report().find("1000 ms in all]"), std::string::npos) << run.report();
}

TEST(BusTrafficReport, HostRegisterBitsAreMeasuredAgainstTheBoardsInitialValues) {
  ReportRun run(R"(
[host]
registers = [{ instance = 1, index = 0x02D01D00, value = 0x00010001 },
             { instance = 2, index = 0x02D02508, value = 0x80000000 }]
[[boot]]
dispatch = "BoardInfoDxe"
)");
  const std::string section = "Host registers written";
  EXPECT_EQ(run.LinesWith(section, "0x02D01D00  0x00010001 -> 0x00010001  unchanged").size(), 1u)
      << run.report();
  EXPECT_EQ(run.LinesWith(section, "0x02D02508  0x80000000 -> 0x80008000  set bit 15").size(), 1u)
      << run.report();
  EXPECT_EQ(run.LinesWith(section, "0x00000000 -> 0x00010000  set bit 16").size(), 7u)
      << run.report();
}

} // namespace
} // namespace boardsim::testing
