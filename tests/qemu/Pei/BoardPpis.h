// The board's platform PPIs as the PEI harness plays them from the board file's values: the host
// SMBus with its devices, the stall service, the BMC transport, the board-table source and apply
// services, PCD_PPI for the board's tokens, and the firmware's variable PPI with each read
// printed. Every call is printed on the debug console in the
// form qemu-board expect gives boardsim's trace.
#pragma once
#include <Pi/PiPei.h>

// Installs them, each replacing the firmware's PPI of the same GUID where there is one (the PEI
// foundation cannot uninstall a PPI; LocatePpi finds the replacement in its place).
VOID InstallBoardPpis(CONST EFI_PEI_SERVICES **PeiServices);
