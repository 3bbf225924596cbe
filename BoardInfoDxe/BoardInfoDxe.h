// BoardInfoDxe: installs BOARD_INFO_PROTOCOL, keeps a copy of the Setup variable and sets the host
// enable bits.
#pragma once
#include <BoardInfoProtocol.h>
#include <Uefi.h>

// The installed interface; static, never changed after start-up.
extern BOARD_INFO_PROTOCOL mBoardInfoProtocol;
// The module's copy of the Setup variable, or null when it could not be read.
extern UINT8 *mSetupCopy;

// Ready-to-boot notify function: the event only closes itself.
VOID EFIAPI CloseOwnEvent(EFI_EVENT Event, VOID *Context);

EFI_STATUS EFIAPI BoardInfoDxeEntryPoint(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);
