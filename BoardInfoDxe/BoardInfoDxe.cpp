#include "BoardInfoDxe.h"
#include "HostEnableBits.h"
#include "NicMacAddress.h"
#include "PlatformSignalNotify.h"
#include <Guids.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Library/UefiRuntimeServicesTableLib.h>
#include <SetupVariable.h>

namespace {

BOOLEAN EFIAPI ReturnFalse(BOARD_INFO_PROTOCOL *, VOID *, VOID *) {
  return FALSE;
}
BOOLEAN EFIAPI ReturnTrue(BOARD_INFO_PROTOCOL *, VOID *, VOID *) {
  return TRUE;
}
UINT64 EFIAPI ReturnZero(BOARD_INFO_PROTOCOL *, VOID *, VOID *) {
  return 0;
}

} // namespace

BOARD_INFO_PROTOCOL mBoardInfoProtocol = {
    .BooleanQuery0 = ReturnFalse,
    .ValueQuery1 = ReturnZero,
    .BooleanQuery2 = ReturnFalse,
    .Reserved3 = nullptr,
    .GetNicMacAddresses = GetNicMacAddresses,
    .BooleanQuery5 = ReturnTrue,
    .ValueQuery6 = ReturnZero,
    .ValueQuery7 = ReturnZero,
    .Reserved8 = nullptr,
    .Reserved9 = nullptr,
    .Reserved10 = nullptr,
    .Reserved11 = nullptr,
};

UINT8 *mSetupCopy;

VOID EFIAPI CloseOwnEvent(EFI_EVENT Event, VOID *) {
  gBS->CloseEvent(Event);
}

// Statuses of the service calls are not acted on: each failure only loses what that call set up.
EFI_STATUS EFIAPI BoardInfoDxeEntryPoint(EFI_HANDLE, EFI_SYSTEM_TABLE *) {
  EFI_HANDLE Handle = nullptr;
  gBS->InstallProtocolInterface(&Handle, &BOARD_INFO_PROTOCOL_GUID, EFI_NATIVE_INTERFACE,
                                &mBoardInfoProtocol);

  EFI_EVENT Event = nullptr;
  gBS->CreateEventEx(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, CloseOwnEvent, nullptr,
                     &EFI_EVENT_GROUP_READY_TO_BOOT, &Event);

  // Not signalled here: only installations after this point are reported.
  if (!EFI_ERROR(gBS->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, PlatformSignalNotify, nullptr,
                                  &Event))) {
    VOID *Registration = nullptr;
    gBS->RegisterProtocolNotify(&PLATFORM_SIGNAL_PROTOCOL_GUID, Event, &Registration);
  }

  VOID *Buffer = nullptr;
  mSetupCopy = nullptr;
  if (!EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, SETUP_VARIABLE_SIZE, &Buffer))) {
    UINTN DataSize = SETUP_VARIABLE_SIZE;
    if (!EFI_ERROR(gRT->GetVariable(SETUP_VARIABLE_NAME, &SETUP_VARIABLE_GUID, nullptr, &DataSize,
                                    Buffer))) {
      mSetupCopy = static_cast<UINT8 *>(Buffer);
    }
  }

  ProgramHostEnableBits();
  // The interface is in place whatever happened to the Setup copy, so the image must stay loaded.
  return EFI_SUCCESS;
}
