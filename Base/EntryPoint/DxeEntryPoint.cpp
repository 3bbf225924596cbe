// Entry glue of DXE and SMM drivers: records the image handle and service tables that module
// code reaches through gImageHandle, gST, gBS and gRT, then runs the module's entry point.
#include <Library/UefiBootServicesTableLib.h>
#include <Library/UefiRuntimeServicesTableLib.h>

EFI_HANDLE gImageHandle;
EFI_SYSTEM_TABLE *gST;
EFI_BOOT_SERVICES *gBS;
EFI_RUNTIME_SERVICES *gRT;

// The module's entry point, named by the build.
EFI_STATUS EFIAPI MODULE_ENTRY_POINT(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);

MODULE_EXPORT EFI_STATUS EFIAPI _ModuleEntryPoint(EFI_HANDLE ImageHandle,
                                                  EFI_SYSTEM_TABLE *SystemTable) {
  gImageHandle = ImageHandle;
  gST = SystemTable;
  gBS = SystemTable->BootServices;
  gRT = SystemTable->RuntimeServices;
  return MODULE_ENTRY_POINT(ImageHandle, SystemTable);
}
