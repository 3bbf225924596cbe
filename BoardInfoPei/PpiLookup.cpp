#include "PpiLookup.h"

EFI_STATUS LocateFirstPpi(CONST EFI_PEI_SERVICES **PeiServices, CONST EFI_GUID &Guid, VOID **Ppi) {
  return (*PeiServices)->LocatePpi(PeiServices, &Guid, 0, nullptr, Ppi);
}
