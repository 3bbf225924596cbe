#include "PciTopology.h"

namespace {

constexpr UINTN PCI_CONFIG_ADDRESS_PORT = 0xCF8;
constexpr UINTN PCI_CONFIG_DATA_PORT = 0xCFC;
constexpr UINT8 PCI_CAPABILITY_ID_VPD = 0x03;
// 192 bytes of capability space hold at most 48 four-byte entries, so a longer walk is a loop.
constexpr UINTN MAX_CAPABILITY_STEPS = 48;
constexpr UINT8 ABSENT_VENDOR_LOW_BYTE = 0xFF;

UINT32 PortCfgRead32(PCI_BDF16 Device, UINT8 Offset) {
  IoWrite32(PCI_CONFIG_ADDRESS_PORT, 0x80000000 | (UINT32(Device) << 8) | Offset);
  return IoRead32(PCI_CONFIG_DATA_PORT);
}

} // namespace

void HostWindowOr(UINT32 Instance, UINT32 Index, UINT32 Mask) {
  MmioWrite32(HOST_WINDOW_SELECT, Instance);
  MmioWrite32(HOST_WINDOW_INDEX, Index);
  UINT32 Value = MmioRead32(HOST_WINDOW_DATA);
  // Select again right before the data write: the window is shared without a lock.
  MmioWrite32(HOST_WINDOW_SELECT, Instance);
  MmioWrite32(HOST_WINDOW_INDEX, Index);
  MmioWrite32(HOST_WINDOW_DATA, Value | Mask);
}

// A value below 0x1000 has a bus byte below 0x10 and no upper bits, so it comes back unchanged
// without touching the window.
PCI_BDF16 TranslatePcdBdf(UINT32 Value) {
  UINT8 Bus = UINT8(Value >> 8);
  if (Bus >= 0x10) {
    // The bus byte is a group number (high nibble) and a bus within the group (low nibble).
    MmioWrite32(HOST_WINDOW_SELECT, 0);
    MmioWrite32(HOST_WINDOW_INDEX, HOST_BUS_GROUP_INDEX);
    UINT8 GroupSize = UINT8(MmioRead8(HOST_WINDOW_DATA + 3) + 1);
    Bus = UINT8((Bus >> 4) * GroupSize + (Bus & 0x0F));
  }
  return PCI_BDF16((Bus << 8) | (Value & 0xFF));
}

UINT8 FindLastPopulatedBus(PCI_BDF16 Bridge) {
  UINT8 Secondary = PciCfgRead8(Bridge, PCI_SECONDARY_BUS_OFFSET);
  UINT8 Last = PciCfgRead8(Bridge, PCI_SUBORDINATE_BUS_OFFSET);
  while (Last > Secondary &&
         PciCfgRead8(PCI_BDF16(Last << 8), PCI_ID_OFFSET) == ABSENT_VENDOR_LOW_BYTE) {
    Last--;
  }
  return Last;
}

UINT8 FindVpdCapability(PCI_BDF16 Device) {
  UINT8 Pointer = UINT8(PortCfgRead32(Device, PCI_CAPABILITY_POINTER_OFFSET));
  for (UINTN Step = 0; Pointer != 0 && Step < MAX_CAPABILITY_STEPS; Step++) {
    UINT32 Header = PortCfgRead32(Device, Pointer);
    if (UINT8(Header) == PCI_CAPABILITY_ID_VPD) {
      return Pointer;
    }
    Pointer = UINT8(Header >> 8);
  }
  return 0;
}
