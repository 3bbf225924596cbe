#include "PcdOverride.h"

#include <Guids.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Pcd.h>

#include "QemuTopology.h"

namespace {

PCD_PROTOCOL *mFirmwarePcd;
PCD_PROTOCOL mHarnessPcd;

UINT32 EFIAPI HarnessGet32(UINTN TokenNumber) {
  for (const HARNESS_PCD_ANSWER &Answer : HARNESS_BRIDGE_ANSWERS) {
    if (Answer.TokenNumber == TokenNumber) {
      return Answer.Value;
    }
  }
  return mFirmwarePcd->Get32(TokenNumber);
}

UINT8 EFIAPI HarnessGet8(UINTN TokenNumber) {
  if (TokenNumber == HARNESS_FUNCTION_LAYOUT_ANSWER.TokenNumber) {
    return static_cast<UINT8>(HARNESS_FUNCTION_LAYOUT_ANSWER.Value);
  }
  return mFirmwarePcd->Get8(TokenNumber);
}

} // namespace

EFI_STATUS InstallPcdOverride() {
  EFI_STATUS Status =
      gBS->LocateProtocol(&PCD_PROTOCOL_GUID, nullptr, reinterpret_cast<VOID **>(&mFirmwarePcd));
  if (EFI_ERROR(Status)) {
    return Status;
  }
  gBS->CopyMem(&mHarnessPcd, mFirmwarePcd, sizeof(mHarnessPcd));
  mHarnessPcd.Get32 = HarnessGet32;
  mHarnessPcd.Get8 = HarnessGet8;

  UINTN HandleCount = 0;
  EFI_HANDLE *Handles = nullptr;
  Status = gBS->LocateHandleBuffer(ByProtocol, &PCD_PROTOCOL_GUID, nullptr, &HandleCount, &Handles);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  // The firmware has one PCD database, so one handle carries the protocol.
  Status =
      gBS->ReinstallProtocolInterface(Handles[0], &PCD_PROTOCOL_GUID, mFirmwarePcd, &mHarnessPcd);
  gBS->FreePool(Handles);
  return Status;
}
