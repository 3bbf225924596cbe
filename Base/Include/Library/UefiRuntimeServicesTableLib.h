// The runtime services of a DXE or SMM driver, recorded by the entry glue.
#pragma once
#include <Uefi.h>

extern EFI_RUNTIME_SERVICES *gRT;
