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

// The S3 record's tokens, which S3SaveSmm reads (552 also writes) before anything else.
UINT64 mS3PrivateData;
UINT64 mS3CommunicationBuffer;

UINT64 EFIAPI HarnessGet64(UINTN TokenNumber) {
  if (TokenNumber == PcdS3LibPrivateData) {
    return mS3PrivateData;
  }
  return TokenNumber == PcdS3CommunicationBuffer ? mS3CommunicationBuffer
                                                 : mFirmwarePcd->Get64(TokenNumber);
}

EFI_STATUS EFIAPI HarnessSet64(UINTN TokenNumber, UINT64 Value) {
  if (TokenNumber != PcdS3LibPrivateData) {
    return mFirmwarePcd->Set64(TokenNumber, Value);
  }
  mS3PrivateData = Value;
  return EFI_SUCCESS;
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
  mHarnessPcd.Get64 = HarnessGet64;
  mHarnessPcd.Set64 = HarnessSet64;
  // The board's communication buffer: at least the 40-byte hand-over message.
  if (mS3CommunicationBuffer == 0) {
    VOID *Buffer = nullptr;
    gBS->AllocatePool(EfiBootServicesData, HARNESS_COMMUNICATION_BUFFER_SIZE, &Buffer);
    mS3CommunicationBuffer = reinterpret_cast<UINTN>(Buffer);
  }

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
