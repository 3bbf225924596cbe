// Entry of the S3 save SMM driver: library set-up, the driver body, and teardown on failure.
#pragma once
#include <Uefi.h>

EFI_STATUS EFIAPI DriverStart(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);
// Returns the status of its last step, the S3 save library set-up.
EFI_STATUS RunLibrarySetup(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);
VOID RunLibraryTeardown(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);

// The module status after the body returned Result: a success or warning always replaces it, an
// error only replaces an error.
constexpr EFI_STATUS KeepModuleStatus(EFI_STATUS Current, EFI_STATUS Result) {
  return EFI_ERROR(Result) && !EFI_ERROR(Current) ? Current : Result;
}
