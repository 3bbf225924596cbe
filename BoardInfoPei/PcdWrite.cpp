#include "PcdWrite.h"
#include "PpiLookup.h"
#include <Guids.h>
#include <Library/PeiServicesTablePointerLib.h>
#include <Pcd.h>

namespace {

PCD_PPI *LocatePcdPpi() {
  PCD_PPI *Pcd = nullptr;
  if (EFI_ERROR(LocateFirstPpi(GetPeiServicesTablePointer(), PCD_PPI_GUID, &Pcd))) {
    return nullptr;
  }
  return Pcd;
}

} // namespace

VOID WritePcd8(UINTN TokenNumber, UINT8 Value) {
  if (PCD_PPI *Pcd = LocatePcdPpi()) {
    Pcd->Set8(TokenNumber, Value);
  }
}

VOID WritePcd32(UINTN TokenNumber, UINT32 Value) {
  if (PCD_PPI *Pcd = LocatePcdPpi()) {
    Pcd->Set32(TokenNumber, Value);
  }
}

VOID WritePcd64(UINTN TokenNumber, UINT64 Value) {
  if (PCD_PPI *Pcd = LocatePcdPpi()) {
    Pcd->Set64(TokenNumber, Value);
  }
}
