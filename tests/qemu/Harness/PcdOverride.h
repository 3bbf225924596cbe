// Puts the board's tokens in front of the firmware's PCD_PROTOCOL: the harness's interface answers
// Get32 and Get8 for the topology tokens, Get64 and Set64 for the S3 record's two tokens (552
// starts at 0, 553 names a buffer of the harness's) and passes every other call on.
#pragma once
#include <Uefi.h>

// Reinstalls the protocol with the harness's interface.
EFI_STATUS InstallPcdOverride();
// The same in two steps, for the boot whose driver waits for the protocol in its dependency
// expression: the firmware's interface is taken away first, the harness's installed later on the
// same handle.
EFI_STATUS WithdrawFirmwarePcd();
EFI_STATUS InstallHarnessPcd();
