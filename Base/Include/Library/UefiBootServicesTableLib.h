// The image handle, system table and boot services of a DXE or SMM driver, recorded by the
// entry glue before the module's entry point runs.
#pragma once
#include <Uefi.h>

extern EFI_HANDLE gImageHandle;
extern EFI_SYSTEM_TABLE *gST;
extern EFI_BOOT_SERVICES *gBS;
