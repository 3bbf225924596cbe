// Puts the board's topology tokens in front of the firmware's PCD_PROTOCOL: the interface is
// reinstalled with Get32 and Get8 answering the topology tokens and passing every other call on.
#pragma once
#include <Uefi.h>

EFI_STATUS InstallPcdOverride();
