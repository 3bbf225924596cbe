// Body of the S3 save SMM driver: status-code set-up and the S5-entry and power-button SMI
// handlers.
#pragma once
#include <Uefi.h>

EFI_STATUS DriverMain(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);
EFI_STATUS RegisterSleepAndPowerButtonHandlers();
EFI_STATUS EFIAPI NullSmiHandler(EFI_HANDLE DispatchHandle, CONST VOID *Context, VOID *CommBuffer,
                                 UINTN *CommBufferSize);
