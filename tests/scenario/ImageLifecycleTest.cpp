// Image instances as the DXE core treats them: an entry point that fails unloads the image, and
// later calls into it are caught.
#include "Scenario.h"

namespace boardsim::testing {
namespace {

// A failed pool allocation at the driver's entry: the entry reports success anyway (its
// interface is installed and must stay callable), so nothing is unloaded.
TEST(ImageLifecycle, DxeDriverWithoutSetupCopyStaysResident) {
  Scenario run(R"(
[[fault]]
call = "dxe.AllocatePool"
image = "BoardInfoDxe#1"
[[boot]]
dispatch = "BoardInfoDxe"
[[boot]]
call = "BOARD_INFO_PROTOCOL.5"
)");
  EXPECT_EQ(run.final()["images"][0]["status"], "EFI_SUCCESS");
  EXPECT_EQ(run.final()["images"][0]["unloaded"], false);
  EXPECT_EQ(run.First("return")["value"], 1);
  EXPECT_TRUE(run.Faults().empty());
}

// An SMM driver whose Sx registration fails returns the error and the core unloads it. Its
// teardown cannot close the ready-to-lock event (the close fails; the error stop is released by
// the probe), so the event stays armed with a notify function inside the unloaded image: the
// later installation of the ready-to-lock protocol must be caught as a fault, not run.
TEST(ImageLifecycle, FailedEntryUnloadsAndLaterCallsAreFaults) {
  Scenario run(R"(
[cpu]
error_stop_probe = 1
[[fault]]
call = "smm.EFI_SMM_SX_DISPATCH2_PROTOCOL.Register"
status = "EFI_DEVICE_ERROR"
[[fault]]
call = "dxe.CloseEvent"
image = "S3SaveSmm#1"
status = "EFI_INVALID_PARAMETER"
[[boot]]
dispatch = "S3SaveSmm"
[[boot]]
dxe_install = "EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL"
)");
  ASSERT_EQ(run.final()["images"].size(), 1u);
  EXPECT_EQ(run.final()["images"][0]["status"], "EFI_DEVICE_ERROR");
  EXPECT_EQ(run.final()["images"][0]["unloaded"], true);
  EXPECT_EQ(run.final()["error_stops"], Json::array({0x90941}));
  long unload = run.IndexOf("unload");
  long caught = run.IndexOf("fault", Field("what", "call into unloaded image S3SaveSmm#1"));
  ASSERT_GE(unload, 0);
  EXPECT_GT(caught, unload);
}

} // namespace
} // namespace boardsim::testing
