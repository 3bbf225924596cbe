#include "HeapListProbe.h"

#include <Guids.h>
#include <Library/UefiBootServicesTableLib.h>
#include <SmmHeapList.h>

#include "DebugConsoleLine.h"

namespace {

EFI_EVENT mProbeEvent;
VOID *mRegistration;

VOID EFIAPI PrintHeapList(EFI_EVENT, VOID *) {
  SMM_HEAP_LIST_PROTOCOL *List = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&SMM_HEAP_LIST_PROTOCOL_GUID, mRegistration,
                                    reinterpret_cast<VOID **>(&List)))) {
    return;
  }
  DebugConsoleLine().Text("heap-list version=").Hex(List->Version).Emit();
  for (LIST_ENTRY *Link = List->HeapList.ForwardLink; Link != &List->HeapList;
       Link = Link->ForwardLink) {
    const SMM_HEAP_NODE *Node = reinterpret_cast<SMM_HEAP_NODE *>(Link);
    DebugConsoleLine()
        .Text("heap-node handle=")
        .Hex(Node->Header.Handle)
        .Text(" size=")
        .Hex(Node->Header.Size)
        .Emit();
  }
}

} // namespace

EFI_STATUS ArmHeapListProbe() {
  EFI_STATUS Status =
      gBS->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_NOTIFY, PrintHeapList, nullptr, &mProbeEvent);
  if (!EFI_ERROR(Status)) {
    Status = gBS->RegisterProtocolNotify(&SMM_HEAP_LIST_PROTOCOL_GUID, mProbeEvent, &mRegistration);
  }
  return Status;
}
