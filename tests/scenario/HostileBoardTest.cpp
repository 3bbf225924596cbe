// Boards that check accepts but that push the simulator to its edges: call buffers too short for
// what the member writes, and a processor stuck in a loop. Each must end in a run with `fault`
// events, never in a crash or a trace without end.
#include "Scenario.h"

#include <string>

namespace boardsim::testing {
namespace {

constexpr char kOneIntelNic[] = R"(
[pcd]
PcdNic1BridgeLocation = 0x0008
PcdNic2BridgeLocation = 0x0008
PcdNicFunctionLayout = 2
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
[[pci]]
bdf = "01:00.1"
kind = "nic"
model = "intel700"
mac = "3C:FD:FE:A1:B2:C4"
[[boot]]
dispatch = "BoardInfoDxe"
)";

TEST(HostileBoards, CallBuffersShorterThanWhatTheMemberWrites) {
  struct Case {
    const char *buffers;
    std::string fault; // empty: no overrun
  };
  const Case cases[] = {
      {"buffer1 = \"\"\nbuffer2 = \"\"",
       "GetNicMacAddresses wrote 10 bytes past the end of buffer1 (0 bytes)"},
      {"buffer2 = \"AABBCC\"",
       "GetNicMacAddresses wrote 4 bytes past the end of buffer2 (3 bytes)"},
      {"buffer2 = \"AABBCCDDEEFF00\"", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.buffers);
    Scenario run(std::string(kOneIntelNic) + "[[boot]]\ncall = \"GetNicMacAddresses\"\n" +
                 c.buffers + "\n");
    EXPECT_FALSE(run.halted());
    const Json returned = run.First("return");
    ASSERT_FALSE(returned.is_null());
    const std::vector<std::string> faults = run.Faults();
    if (c.fault.empty()) {
      EXPECT_TRUE(faults.empty());
    } else {
      ASSERT_FALSE(faults.empty());
      EXPECT_EQ(faults.front(), c.fault);
      EXPECT_LT(run.IndexOf("fault"), run.IndexOf("return")); // reported with the call
    }
  }
}

// An error stop whose display delay needs a billion PAUSEs: the loop is folded into `repeat`
// events and the watchdog ends the run long before that.
TEST(HostileBoards, StuckProcessorIsFoldedAndStopped) {
  Scenario run(R"(
[cpu]
msr = { "0xC0010063" = 0, "0xC0010064" = 0x0210 }
tsc_per_pause = 1
[[heap]]
handle = 0x0100
kind = 8
data = "0011223344"
[[fault]]
call = "smm.SmmAllocatePool"
nth = 2
[[boot]]
dispatch = "S3SaveSmm"
)");
  EXPECT_TRUE(run.halted());
  const std::vector<std::string> faults = run.Faults();
  ASSERT_FALSE(faults.empty());
  EXPECT_EQ(faults.back(), "watchdog: the processor spun in PAUSE loops without end");
  const Json repeat = run.First("repeat");
  ASSERT_FALSE(repeat.is_null());
  EXPECT_EQ(repeat["period"], 2); // PAUSE, then a TSC read
  // Folding starts after 100,000 blocks; the watchdog ends the run at 1,000,000 PAUSEs.
  EXPECT_GT(repeat["times"].get<uint64_t>(), 800'000u);
  EXPECT_LT(run.events().size(), 250'000u);
}

// A warning status injected into a call that fails by itself does not turn the failure into a
// warning-success: the module sees the call's own error, and the trace says so.
TEST(HostileBoards, AWarningFaultNeverHidesAFailedCall) {
  Scenario run(R"(
[smm]
sx_dispatch = false
[[fault]]
call = "smm.SmmLocateProtocol"
target = "EFI_SMM_SX_DISPATCH2_PROTOCOL"
status = "EFI_WARN_STALE_DATA"
[[boot]]
dispatch = "S3SaveSmm"
)");
  const Json locate = run.First("protocol_locate", Field("name", "EFI_SMM_SX_DISPATCH2_PROTOCOL"));
  ASSERT_FALSE(locate.is_null());
  EXPECT_EQ(locate["status"], "EFI_NOT_FOUND");
  const Json injected = run.First("injected");
  ASSERT_FALSE(injected.is_null());
  EXPECT_EQ(injected["target"], "EFI_SMM_SX_DISPATCH2_PROTOCOL");
  EXPECT_EQ(injected["status"], "EFI_NOT_FOUND");
  EXPECT_TRUE(run.Of("smi_register", Field("source", "sx")).empty());
}

// PCD_PROTOCOL is a boot-services protocol; its faults are named "dxe." for SMM code too.
TEST(HostileBoards, PcdWriteFaultsMatchSmmCodeByTheirDxeName) {
  Scenario run(R"(
[[fault]]
call = "dxe.PCD_PROTOCOL.Set64"
status = "EFI_DEVICE_ERROR"
[[boot]]
dispatch = "S3SaveSmm"
)");
  EXPECT_TRUE(run.Of("pcd_set", Field("token", 552)).empty());
  EXPECT_FALSE(run.final()["pcd"].contains("552"));
}

} // namespace
} // namespace boardsim::testing
