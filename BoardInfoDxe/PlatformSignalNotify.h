// Reports the family of the network controller behind the first onboard bridge to the setup item
// service each time the platform signal protocol is installed.
#pragma once
#include <Uefi.h>

// Setup item codes, one per controller family; the handler passes the two codes that are not the
// family's own, in ascending order.
inline constexpr UINTN SETUP_ITEM_NIC_I350 = 0x705;
inline constexpr UINTN SETUP_ITEM_NIC_X540_82599 = 0x706;
inline constexpr UINTN SETUP_ITEM_NIC_OTHER = 0x707;

VOID EFIAPI PlatformSignalNotify(EFI_EVENT Event, VOID *Context);
