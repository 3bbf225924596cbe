// The boot script: the default sequence, each action's value and the call arguments.
#include "BoardTestSupport.h"

namespace boardsim::test {
namespace {

struct ExpectedStep {
  BootAction action;
  std::string_view value;
};

TEST(BootScript, AbsentScriptIsTheDefaultSequence) {
  const std::vector<BootStep> boot = MustParse("").boot;
  const ExpectedStep expected[] = {
      {BootAction::PeiInstall, "EFI_PEI_SMBUS2_PPI"},
      {BootAction::Dispatch, "BoardInfoPei"},
      {BootAction::PeiInstall, "BOARD_TABLE_SOURCE_PPI"},
      {BootAction::PeiInstall, "BOARD_TABLE_APPLY_PPI"},
      {BootAction::Dispatch, "BoardInfoDxe"},
      {BootAction::Dispatch, "S3SaveSmm"},
      {BootAction::DxeInstall, "PLATFORM_SIGNAL_PROTOCOL"},
      {BootAction::Call, "GetNicMacAddresses"},
      {BootAction::BuildS3Table, ""},
      {BootAction::DxeInstall, "EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL"},
      {BootAction::Signal, "ready_to_boot"},
  };
  ASSERT_EQ(boot.size(), std::size(expected));
  for (size_t i = 0; i < boot.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    EXPECT_EQ(boot[i].action, expected[i].action);
    EXPECT_EQ(boot[i].value, expected[i].value);
  }
  const BootStep &call = boot[7];
  EXPECT_EQ(call.call_target, CallTarget::GetNicMacAddresses);
  EXPECT_EQ(call.slot, 4u);
  EXPECT_FALSE(call.buffer1 || call.buffer2 || call.buffer1_null || call.buffer2_null);

  const S3TableParams &table = boot[8].s3_table;
  EXPECT_EQ(table.size, 256u);
  EXPECT_EQ(table.signature, 0x54335341u);
  EXPECT_EQ(table.boundary_offset, 0x80u);
  EXPECT_EQ(table.boundary_value, 0x01558844u);
  EXPECT_EQ(table.terminator_offset, 0x40u);
  EXPECT_EQ(table.table_memory, TableMemory::Boot);
}

TEST(BootScript, EmptyArrayMeansNoSteps) {
  EXPECT_TRUE(MustParse("boot = []").boot.empty());
}

TEST(BootScript, StepsKeepOrderLinesAndValues) {
  const Board board = MustParse(R"([[boot]]
smi = "power_button"

[[boot]]
dxe_install = "7739F24C-93D7-11D4-9A3A-0090273FC14D"
[[boot]]
pei_install = "BMC_TRANSPORT_PPI"
[[boot]]
signal = "ready_to_boot"
[[boot]]
smi = "s5_entry"
)");
  ASSERT_EQ(board.boot.size(), 5u);
  EXPECT_EQ(board.boot[0].action, BootAction::Smi);
  EXPECT_EQ(board.boot[0].value, "power_button");
  EXPECT_EQ(board.boot[0].line, 1u);
  EXPECT_EQ(board.boot[1].action, BootAction::DxeInstall);
  EXPECT_EQ(board.boot[1].line, 4u);
  EXPECT_EQ(board.boot[2].value, "BMC_TRANSPORT_PPI");
  EXPECT_EQ(board.boot[3].action, BootAction::Signal);
  EXPECT_EQ(board.boot[4].value, "s5_entry");
  EXPECT_EQ(board.boot[4].line, 10u);
}

TEST(BootScript, CallTargetsAndBuffers) {
  const Board board = MustParse(R"(
[[boot]]
call = "BOARD_INFO_PROTOCOL.11"
buffer1 = "null"
buffer2 = "01:02"
[[boot]]
call = "BOARD_INFO_PPI.0"
buffer1 = ""
[[boot]]
call = "GetNicMacAddresses"
buffer2 = "null"
)");
  ASSERT_EQ(board.boot.size(), 3u);
  const BootStep &protocol = board.boot[0];
  EXPECT_EQ(protocol.call_target, CallTarget::BoardInfoProtocolSlot);
  EXPECT_EQ(protocol.slot, 11u);
  EXPECT_TRUE(protocol.buffer1_null);
  EXPECT_FALSE(protocol.buffer1.has_value());
  EXPECT_EQ(protocol.buffer2, (std::vector<uint8_t>{1, 2}));
  EXPECT_FALSE(protocol.buffer2_null);

  const BootStep &ppi = board.boot[1];
  EXPECT_EQ(ppi.call_target, CallTarget::BoardInfoPpiEntry);
  EXPECT_EQ(ppi.slot, 0u);
  EXPECT_EQ(ppi.buffer1, std::vector<uint8_t>{}); // given empty, not defaulted
  EXPECT_FALSE(ppi.buffer2.has_value());

  const BootStep &mac = board.boot[2];
  EXPECT_EQ(mac.slot, 4u);
  EXPECT_FALSE(mac.buffer1_null);
  EXPECT_TRUE(mac.buffer2_null);
}

TEST(BootScript, BuildS3TableParameters) {
  const BootStep step = MustParse(R"([[boot]]
build_s3_table = { size = 64, signature = 0x11111111, boundary_offset = 60, boundary_value = 7, terminator_offset = 0x1000, table_memory = "smram" }
)")
                            .boot.at(0);
  EXPECT_EQ(step.action, BootAction::BuildS3Table);
  EXPECT_EQ(step.s3_table.size, 64u);
  EXPECT_EQ(step.s3_table.signature, 0x11111111u);
  EXPECT_EQ(step.s3_table.boundary_offset, 60u); // the last place a u32 fits
  EXPECT_EQ(step.s3_table.boundary_value, 7u);
  EXPECT_EQ(step.s3_table.terminator_offset, 0x1000u); // outside the table is allowed
  EXPECT_EQ(step.s3_table.table_memory, TableMemory::Smram);
}

} // namespace
} // namespace boardsim::test
