// Entry glue of PEI modules. A PEI module may run from flash, so the glue keeps no state: it
// passes the PEI foundation's arguments straight to the module's entry point.
#include <Pi/PiPei.h>

// The module's entry point, named by the build.
EFI_STATUS EFIAPI MODULE_ENTRY_POINT(EFI_PEI_FILE_HANDLE FileHandle,
                                     CONST EFI_PEI_SERVICES **PeiServices);

MODULE_EXPORT EFI_STATUS EFIAPI _ModuleEntryPoint(EFI_PEI_FILE_HANDLE FileHandle,
                                                  CONST EFI_PEI_SERVICES **PeiServices) {
  return MODULE_ENTRY_POINT(FileHandle, PeiServices);
}
