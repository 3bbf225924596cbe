// PCI configuration access of the board driver: the fixed ECAM window, the host register window
// in the host bridge's configuration space, the bus-number translation of PCD-coded bridge
// locations, and the capability walk through the 0xCF8/0xCFC ports.
#pragma once
#include <Base.h>
#include <Library/IoLib.h>

// Bus in bits 15-8, device in bits 7-3, function in bits 2-0.
using PCI_BDF16 = UINT16;

#if defined(BOARD_ECAM_BASE)
inline constexpr UINT32 ECAM_BASE = BOARD_ECAM_BASE;
#else
inline constexpr UINT32 ECAM_BASE = 0xF0000000;
#endif

// Formed in 32 bits, as the board's window lies below 4 GiB.
constexpr UINT32 PciCfgAddress(PCI_BDF16 Device, UINT32 Offset) {
  return ECAM_BASE + (UINT32(Device) << 12) + Offset;
}

inline UINT8 PciCfgRead8(PCI_BDF16 Device, UINT32 Offset) {
  return MmioRead8(PciCfgAddress(Device, Offset));
}
inline UINT32 PciCfgRead32(PCI_BDF16 Device, UINT32 Offset) {
  return MmioRead32(PciCfgAddress(Device, Offset));
}

// Configuration offsets used by the driver.
inline constexpr UINT32 PCI_ID_OFFSET = 0x00;
inline constexpr UINT32 PCI_COMMAND_OFFSET = 0x04;
inline constexpr UINT32 PCI_BASE_CLASS_OFFSET = 0x0B;
inline constexpr UINT32 PCI_BAR0_OFFSET = 0x10;
inline constexpr UINT32 PCI_SECONDARY_BUS_OFFSET = 0x19;
inline constexpr UINT32 PCI_SUBORDINATE_BUS_OFFSET = 0x1A;
inline constexpr UINT32 PCI_CAPABILITY_POINTER_OFFSET = 0x34;
inline constexpr UINT32 PCI_ABSENT_ID = 0xFFFFFFFF;

// Host register window: three 32-bit registers of 00:00.0.
inline constexpr UINT32 HOST_WINDOW_SELECT = PciCfgAddress(0, 0xC0);
inline constexpr UINT32 HOST_WINDOW_INDEX = PciCfgAddress(0, 0xC4);
inline constexpr UINT32 HOST_WINDOW_DATA = PciCfgAddress(0, 0xC8);
// Instance 0 register whose top byte is the bus group size minus one.
inline constexpr UINT32 HOST_BUS_GROUP_INDEX = 0x0001C0A0;

void HostWindowOr(UINT32 Instance, UINT32 Index, UINT32 Mask);
PCI_BDF16 TranslatePcdBdf(UINT32 Value);
UINT8 FindLastPopulatedBus(PCI_BDF16 Bridge);
UINT8 FindVpdCapability(PCI_BDF16 Device);
