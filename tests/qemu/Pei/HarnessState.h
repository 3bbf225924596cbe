// The PEI harness's working state: the board's SMBus registers and transaction counts, the BMC's
// unanswered requests, the board's PCD values, and the firmware's own PCD_PPI and variable PPI. It
// lives in a GUID-extension HOB because the harness may run in place from the volume, and is looked
// up afresh on every use because the PEI foundation moves the HOB list into permanent memory.
#pragma once
#include <Pcd.h>
#include <Pi/PiPei.h>

#include "QemuBoardValues.h"

inline constexpr UINTN PEI_HARNESS_SMBUS_DEVICES =
    sizeof(QEMU_BOARD_SMBUS) / sizeof(QEMU_BOARD_SMBUS[0]);
inline constexpr UINTN PEI_HARNESS_PCD_TOKENS = sizeof(QEMU_BOARD_PCD) / sizeof(QEMU_BOARD_PCD[0]);

struct PEI_HARNESS_STATE {
  PCD_PPI *FirmwarePcd;
  EFI_PEI_READ_ONLY_VARIABLE2_PPI *FirmwareVariables;
  UINT32 BmcUnanswered;
  UINT32 SmbusTransactions[PEI_HARNESS_SMBUS_DEVICES];
  UINT8 Registers[PEI_HARNESS_SMBUS_DEVICES][256];
  UINT64 PcdValues[PEI_HARNESS_PCD_TOKENS];
};

// Creates the state with the board's initial values; nullptr if the HOB cannot be made.
PEI_HARNESS_STATE *CreateHarnessState(CONST EFI_PEI_SERVICES **PeiServices);
// The state, wherever the HOB list now is.
PEI_HARNESS_STATE *HarnessState();
