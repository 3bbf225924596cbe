#include "PcdAccess.h"
#include <Guids.h>
#include <Library/UefiBootServicesTableLib.h>

PCD_PROTOCOL *mPcdProtocol;

namespace {

PCD_PROTOCOL *LocatePcdProtocol() {
  if (mPcdProtocol == nullptr) {
    VOID *Interface = nullptr;
    if (!EFI_ERROR(gBS->LocateProtocol(&PCD_PROTOCOL_GUID, nullptr, &Interface))) {
      mPcdProtocol = static_cast<PCD_PROTOCOL *>(Interface);
    }
  }
  return mPcdProtocol;
}

} // namespace

UINT32 ReadPcd32(UINTN TokenNumber) {
  PCD_PROTOCOL *Pcd = LocatePcdProtocol();
  return Pcd != nullptr ? Pcd->Get32(TokenNumber) : 0;
}

UINT8 ReadPcd8(UINTN TokenNumber) {
  PCD_PROTOCOL *Pcd = LocatePcdProtocol();
  return Pcd != nullptr ? Pcd->Get8(TokenNumber) : 0;
}
