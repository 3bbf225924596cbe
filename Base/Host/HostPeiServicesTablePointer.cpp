// A host PEI image asks the simulator for the pointer that firmware keeps below the IDT.
#include <Library/PeiServicesTablePointerLib.h>
#include "HostBackend.h"

CONST EFI_PEI_SERVICES **GetPeiServicesTablePointer() {
  const void *Pointer = gHostBackend.Bridge->PeiServicesTablePointer(gHostBackend.Context);
  return static_cast<CONST EFI_PEI_SERVICES **>(const_cast<void *>(Pointer));
}
