#include "NicMacAddress.h"
#include "PcdAccess.h"
#include "VpdMacAddress.h"
#include <Library/UefiBootServicesTableLib.h>
#include <PcdTokens.h>

namespace {

constexpr UINT16 MELLANOX_VENDOR_ID = 0x15B3;
constexpr UINT16 BROADCOM_VENDOR_ID = 0x14E4;
// Intel 700 series devices 0x1572, 0x1589 and 0x158B.
constexpr UINT32 INTEL_700_IDS[] = {0x15728086, 0x15898086, 0x158B8086};

// The serial number at 0x140-0x147 is the address in EUI-64 form: its two inserted middle bytes
// (0x143, 0x144) are skipped.
constexpr UINT16 SERIAL_NUMBER_MAC_OFFSETS[] = {0x147, 0x146, 0x145, 0x142, 0x141, 0x140};

constexpr UINT32 INTEL_700_MAC_LOW = 0x1E2120;  // address bytes 0-3
constexpr UINT32 INTEL_700_MAC_HIGH = 0x1E2140; // address bytes 4-5
constexpr UINT32 GENERIC_MAC_OFFSET = 0x5400;
constexpr UINT32 BAR_MEMORY_BASE_MASK = 0xFFFFFFF0;
constexpr UINT8 COMMAND_MEMORY_AND_BUS_MASTER = 0x06;

constexpr UINTN BRIDGE_LOCATION_TOKENS[] = {PcdNic1BridgeLocation, PcdNic2BridgeLocation,
                                            PcdNic3BridgeLocation, PcdNic4BridgeLocation};
constexpr PCI_BDF16 UNSET_BRIDGE_LOCATION = 0x8888;
constexpr UINTN SETTLE_STALL_MICROSECONDS = 1000;

// Threshold tests of the layout PCD, in the order made; MinLayout 0 ends a row.
struct NIC_FUNCTION_TEST {
  UINT8 MinLayout;
  UINT8 Function;
};
constexpr NIC_FUNCTION_TEST NIC_FUNCTION_TESTS[3][2] = {
    {{2, 1}, {0, 0}}, // controller 2
    {{4, 2}, {0, 0}}, // controller 3
    {{4, 3}, {2, 1}}, // controller 4
};

UINT8 ReadNicFunctionLayout() {
  return ReadPcd8(PcdNicFunctionLayout);
}

// Only the low 32 bits of BAR0 are used.
UINT32 Bar0MemoryBase(PCI_BDF16 Device) {
  return PciCfgRead32(Device, PCI_BAR0_OFFSET) & BAR_MEMORY_BASE_MASK;
}

VOID CopyFromDevice(UINT8 *Destination, UINT32 Address, UINTN Length) {
  gBS->CopyMem(Destination, reinterpret_cast<VOID *>(UINTN(Address)), Length);
}

} // namespace

NIC_MAC_RULE ChooseNicMacRule(UINT32 PciId) {
  UINT16 VendorId = UINT16(PciId);
  if (VendorId == MELLANOX_VENDOR_ID) {
    return NicMacFromVpd;
  }
  if (VendorId == BROADCOM_VENDOR_ID) {
    return NicMacFromSerialNumber;
  }
  for (UINT32 Id : INTEL_700_IDS) {
    if (PciId == Id) {
      return NicMacFromIntel700;
    }
  }
  return NicMacFromBar0;
}

UINT8 NicFunctionNumber(UINT8 Index, NIC_LAYOUT_READER ReadLayout) {
  if (Index < 2) {
    return 0;
  }
  for (const NIC_FUNCTION_TEST &Test : NIC_FUNCTION_TESTS[Index - 2]) {
    if (Test.MinLayout == 0) {
      break;
    }
    if (ReadLayout() >= Test.MinLayout) {
      return Test.Function;
    }
  }
  return 0;
}

VOID ReadNicMacAddress(UINT8 Index, PCI_BDF16 Device, UINT8 *List) {
  UINT32 PciId = PciCfgRead32(Device, PCI_ID_OFFSET);
  if (PciId == PCI_ABSENT_ID) {
    return;
  }
  UINT8 Count = ++List[NIC_MAC_LIST_COUNT];
  UINT8 *Entry = List + NIC_MAC_LIST_ENTRIES + UINT8(NIC_MAC_ADDRESS_SIZE * (Count - 1));
  NIC_MAC_RULE Rule = ChooseNicMacRule(PciId);
  for (UINTN Byte = 0; Byte < NIC_MAC_ADDRESS_SIZE; Byte++) {
    Entry[Byte] = 0;
  }

  // Decoding stays on for every controller found, whether or not its rule finds an address.
  UINT32 Command = PciCfgAddress(Device, PCI_COMMAND_OFFSET);
  MmioWrite8(Command, MmioRead8(Command) | COMMAND_MEMORY_AND_BUS_MASTER);

  switch (Rule) {
  case NicMacFromVpd:
    ReadVpdMacAddress(Device, Index == 1 ? VPD_KEYWORD_V2 : VPD_KEYWORD_V3, Entry);
    break;
  case NicMacFromSerialNumber:
    for (UINTN Byte = 0; Byte < NIC_MAC_ADDRESS_SIZE; Byte++) {
      Entry[Byte] = PciCfgRead8(Device, SERIAL_NUMBER_MAC_OFFSETS[Byte]);
    }
    // One serial number serves all functions of the device.
    Entry[NIC_MAC_ADDRESS_SIZE - 1] += Device & 0x07;
    break;
  case NicMacFromIntel700:
    CopyFromDevice(Entry, Bar0MemoryBase(Device) + INTEL_700_MAC_LOW, 4);
    CopyFromDevice(Entry + 4, Bar0MemoryBase(Device) + INTEL_700_MAC_HIGH, 2);
    break;
  case NicMacFromBar0:
    CopyFromDevice(Entry, Bar0MemoryBase(Device) + GENERIC_MAC_OFFSET, NIC_MAC_ADDRESS_SIZE);
    break;
  }
}

EFI_STATUS EFIAPI GetNicMacAddresses(UINT8 *ListBuffer1, UINT8 *ListBuffer2) {
  if (ListBuffer1 == nullptr || ListBuffer2 == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  // Controller 1 goes to the first buffer's list, controllers 2-4 to the second one's.
  UINT8 *List = ListBuffer1 + NIC_MAC_LIST1_OFFSET;
  List[NIC_MAC_LIST_COUNT] = 0;
  for (UINT8 Index = 1; Index <= 4; Index++) {
    if (Index == 2) {
      List = ListBuffer2 + NIC_MAC_LIST2_OFFSET;
      List[NIC_MAC_LIST_COUNT] = 0;
    }
    PCI_BDF16 Bridge = TranslatePcdBdf(ReadPcd32(BRIDGE_LOCATION_TOKENS[Index - 1]));
    if (Bridge == 0 || Bridge == UNSET_BRIDGE_LOCATION) {
      continue;
    }
    UINT8 Bus = FindLastPopulatedBus(Bridge);
    UINT8 Function = NicFunctionNumber(Index, ReadNicFunctionLayout);
    ReadNicMacAddress(Index, PCI_BDF16((Bus << 8) | Function), List);
  }
  gBS->Stall(SETTLE_STALL_MICROSECONDS);
  return EFI_SUCCESS;
}
