#include "PcdOverride.h"

#include <Guids.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Pcd.h>

#include "QemuTopology.h"

namespace {

PCD_PROTOCOL *mFirmwarePcd;
PCD_PROTOCOL mHarnessPcd;
EFI_HANDLE mPcdHandle;

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

// Finds the firmware's interface and the handle that carries it, and builds the harness's
// interface in front of it.
EFI_STATUS PreparePcdOverride() {
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
  mPcdHandle = Handles[0];
  gBS->FreePool(Handles);
  return EFI_SUCCESS;
}

} // namespace

EFI_STATUS InstallPcdOverride() {
  const EFI_STATUS Status = PreparePcdOverride();
  return EFI_ERROR(Status) ? Status
                           : gBS->ReinstallProtocolInterface(mPcdHandle, &PCD_PROTOCOL_GUID,
                                                             mFirmwarePcd, &mHarnessPcd);
}

EFI_STATUS WithdrawFirmwarePcd() {
  const EFI_STATUS Status = PreparePcdOverride();
  return EFI_ERROR(Status)
             ? Status
             : gBS->UninstallProtocolInterface(mPcdHandle, &PCD_PROTOCOL_GUID, mFirmwarePcd);
}

EFI_STATUS InstallHarnessPcd() {
  return gBS->InstallProtocolInterface(&mPcdHandle, &PCD_PROTOCOL_GUID, EFI_NATIVE_INTERFACE,
                                       &mHarnessPcd);
}
