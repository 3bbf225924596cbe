#include "Board/Board.h"

namespace boardsim {

BoardTable DefaultBoardTable(uint32_t tableNumber) {
  BoardTable table{};
  for (uint32_t k = 0; k < kBoardTableSize; ++k) {
    table[k] = static_cast<uint8_t>((tableNumber * 0x40 + k) & 0xFF);
  }
  return table;
}

namespace {

BootStep Step(BootAction action, std::string value) {
  BootStep step;
  step.action = action;
  step.value = std::move(value);
  return step;
}

} // namespace

std::vector<BootStep> DefaultBootScript() {
  return {
      Step(BootAction::PeiInstall, "EFI_PEI_SMBUS2_PPI"),
      Step(BootAction::Dispatch, "BoardInfoPei"),
      Step(BootAction::PeiInstall, "BOARD_TABLE_SOURCE_PPI"),
      Step(BootAction::PeiInstall, "BOARD_TABLE_APPLY_PPI"),
      Step(BootAction::Dispatch, "BoardInfoDxe"),
      Step(BootAction::Dispatch, "S3SaveSmm"),
      Step(BootAction::DxeInstall, "PLATFORM_SIGNAL_PROTOCOL"),
      Step(BootAction::Call, "GetNicMacAddresses"),
      Step(BootAction::BuildS3Table, ""),
      Step(BootAction::DxeInstall, "EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL"),
      Step(BootAction::Signal, "ready_to_boot"),
  };
}

Board DefaultBoardModel() {
  return Board{};
}

} // namespace boardsim
