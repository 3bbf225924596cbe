// Notification callbacks the entry point registers; each runs once, when its PPI is first
// installed (or at once inside NotifyPpi if it already is).
#pragma once
#include <Pi/PiPei.h>

// EFI_PEI_SMBUS2_PPI arrived: wait for the BMC, probe the board inputs, publish tokens 195/196.
EFI_STATUS EFIAPI OnSmbusArrival(EFI_PEI_SERVICES **PeiServices,
                                 EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor, VOID *Ppi);

// BOARD_TABLE_APPLY_PPI arrived: hand the segment tables over, publish token 232.
EFI_STATUS EFIAPI OnTableApplyArrival(EFI_PEI_SERVICES **PeiServices,
                                      EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor, VOID *Ppi);
