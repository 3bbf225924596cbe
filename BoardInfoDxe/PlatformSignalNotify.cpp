#include "PlatformSignalNotify.h"
#include "PcdAccess.h"
#include "PciTopology.h"
#include <BoardInfoProtocol.h>
#include <Guids.h>
#include <Library/UefiBootServicesTableLib.h>
#include <PcdTokens.h>

namespace {

constexpr CHAR8 SETUP_ITEM_NAME[] = "Setup";
constexpr UINT8 PCI_CLASS_NETWORK = 0x02;
constexpr UINT8 NO_BUS = 0xFF;
constexpr UINT32 INTEL_I350_ID = 0x15218086;
constexpr UINT32 INTEL_X540_ID = 0x15288086;
constexpr UINT32 INTEL_82599_ID = 0x10FB8086;

// The first bus from the bridge's secondary to its subordinate bus whose 00.0 is a network
// controller; bus 255 counts as none.
UINT8 FindNetworkBus(PCI_BDF16 Bridge) {
  UINT32 Secondary = PciCfgRead8(Bridge, PCI_SECONDARY_BUS_OFFSET);
  UINT32 Subordinate = PciCfgRead8(Bridge, PCI_SUBORDINATE_BUS_OFFSET);
  if (Secondary == NO_BUS && Subordinate == NO_BUS) {
    return NO_BUS;
  }
  for (UINT32 Bus = Secondary; Bus <= Subordinate; Bus++) {
    if (PciCfgRead8(PCI_BDF16(Bus << 8), PCI_BASE_CLASS_OFFSET) == PCI_CLASS_NETWORK) {
      return UINT8(Bus);
    }
  }
  return NO_BUS;
}

} // namespace

VOID EFIAPI PlatformSignalNotify(EFI_EVENT, VOID *) {
  VOID *Interface = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&SETUP_ITEM_PROTOCOL_GUID, nullptr, &Interface))) {
    return;
  }
  // Unlike the MAC collection, the translated location is used even when it is 0 or 0x8888.
  UINT8 Bus = FindNetworkBus(TranslatePcdBdf(ReadPcd32(PcdNic1BridgeLocation)));
  // No controller found counts as the "other" family.
  UINTN Family = SETUP_ITEM_NIC_OTHER;
  if (Bus != NO_BUS) {
    UINT32 PciId = PciCfgRead32(PCI_BDF16(Bus << 8), PCI_ID_OFFSET);
    if (PciId == INTEL_I350_ID) {
      Family = SETUP_ITEM_NIC_I350;
    } else if (PciId == INTEL_X540_ID || PciId == INTEL_82599_ID) {
      Family = SETUP_ITEM_NIC_X540_82599;
    }
  }
  SETUP_ITEM_PROTOCOL *SetupItem = static_cast<SETUP_ITEM_PROTOCOL *>(Interface);
  for (UINTN Code = SETUP_ITEM_NIC_I350; Code <= SETUP_ITEM_NIC_OTHER; Code++) {
    if (Code != Family) {
      SetupItem->MarkItem(SETUP_ITEM_NAME, Code);
    }
  }
}
