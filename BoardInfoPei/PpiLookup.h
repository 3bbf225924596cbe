// Finding the first installed instance of a PPI.
#pragma once
#include <Pi/PiPei.h>

EFI_STATUS LocateFirstPpi(CONST EFI_PEI_SERVICES **PeiServices, CONST EFI_GUID &Guid, VOID **Ppi);

template <typename PpiType>
inline EFI_STATUS LocateFirstPpi(CONST EFI_PEI_SERVICES **PeiServices, CONST EFI_GUID &Guid,
                                 PpiType **Ppi) {
  VOID *Found = nullptr;
  EFI_STATUS Status = LocateFirstPpi(PeiServices, Guid, &Found);
  *Ppi = static_cast<PpiType *>(Found);
  return Status;
}
