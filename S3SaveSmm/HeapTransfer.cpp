#include "HeapTransfer.h"
#include "SmmServices.h"
#include "Debug/ErrorStop.h"
#include <Guids.h>
#include <Library/BaseMemoryLib.h>
#include <Library/UefiBootServicesTableLib.h>

namespace {

constexpr UINT32 kErrorNoSmramForKind8 = 0x70177;
constexpr UINT32 kErrorNoSmramForRecord = 0x70180;
constexpr UINT32 kErrorInstallHeapList = 0x70268;
constexpr UINT8 kKindWithOwnErrorCode = 8;
constexpr UINT16 kHobAlignment = 8;

SMM_HEAP_LIST_PROTOCOL mHeapListInterface = {1, {nullptr, nullptr}};
// Head of the list this image uses: its own, or the one of the image that installed the protocol.
LIST_ENTRY *mHeapList;
EFI_HANDLE mHeapListHandle;

EFI_STATUS AddHeapNode(const HEAP_RECORD_HEADER *Record, SMM_HEAP_NODE **NewNode) {
  auto *Node =
      static_cast<SMM_HEAP_NODE *>(AllocateSmramPool(sizeof(SMM_HEAP_NODE) + Record->Size));
  if (Node == nullptr) {
    ErrorStop(Record->Kind == kKindWithOwnErrorCode ? kErrorNoSmramForKind8
                                                    : kErrorNoSmramForRecord);
    return EFI_UNSUPPORTED;
  }
  *NewNode = Node;
  CopyMem(&Node->Header, Record, sizeof(Node->Header));
  Node->Link.ForwardLink = mHeapList;
  Node->Link.BackLink = mHeapList->BackLink;
  mHeapList->BackLink->ForwardLink = &Node->Link;
  mHeapList->BackLink = &Node->Link;
  return EFI_SUCCESS;
}

VOID TransferHeapBuffers() {
  auto *Hob = static_cast<UINT8 *>(FindHobList());
  if (Hob == nullptr) {
    return;
  }
  // The hand-off HOB that starts the list says where its end HOB lies; the walk stays within.
  const auto *Handoff = reinterpret_cast<const EFI_HOB_HANDOFF_INFO_TABLE *>(Hob);
  const UINT8 *End = Handoff->Header.HobType == EFI_HOB_TYPE_HANDOFF
                         ? reinterpret_cast<const UINT8 *>(UINTN(Handoff->EfiEndOfHobList))
                         : nullptr;
  for (;;) {
    const auto *Header = reinterpret_cast<const EFI_HOB_GENERIC_HEADER *>(Hob);
    // A length below the header's own would never advance the walk, one that is not a multiple
    // of 8 would leave the next HOB misaligned (PI requires 8-byte aligned HOBs), and one that
    // reaches past the end HOB would leave the list.
    if (Header->HobType == EFI_HOB_TYPE_END_OF_HOB_LIST ||
        Header->HobLength < sizeof(EFI_HOB_GENERIC_HEADER) ||
        Header->HobLength % kHobAlignment != 0 ||
        (End != nullptr && Header->HobLength > UINTN(End - Hob))) {
      return;
    }
    const auto *Transfer = reinterpret_cast<const HEAP_TRANSFER_HOB *>(Hob);
    const HEAP_RECORD_HEADER &Record = Transfer->Record;
    // The record and its payload must lie within the HOB.
    if (Header->HobType == EFI_HOB_TYPE_GUID_EXTENSION &&
        Header->HobLength >= sizeof(HEAP_TRANSFER_HOB) &&
        CompareGuid(&Transfer->Header.Name, &HEAP_TRANSFER_HOB_GUID) &&
        Record.Signature == HEAP_RECORD_SIGNATURE &&
        Record.CopyToSmram == HEAP_RECORD_COPY_TO_SMRAM &&
        Record.Size <= Header->HobLength - sizeof(HEAP_TRANSFER_HOB)) {
      SMM_HEAP_NODE *Node;
      if (AddHeapNode(&Record, &Node) == EFI_SUCCESS && Record.Size != 0) {
        CopyMem(Node + 1, Transfer + 1, Record.Size);
      }
    }
    Hob += Header->HobLength;
  }
}

} // namespace

VOID SetUpHeapList() {
  SMM_HEAP_LIST_PROTOCOL *Found = nullptr;
  gBS->LocateProtocol(&SMM_HEAP_LIST_PROTOCOL_GUID, nullptr, reinterpret_cast<VOID **>(&Found));
  if (Found != nullptr) {
    mHeapList = &Found->HeapList;
    return;
  }
  mHeapList = &mHeapListInterface.HeapList;
  mHeapList->ForwardLink = mHeapList;
  mHeapList->BackLink = mHeapList;
  TransferHeapBuffers();
  if (gBS->InstallProtocolInterface(&mHeapListHandle, &SMM_HEAP_LIST_PROTOCOL_GUID,
                                    EFI_NATIVE_INTERFACE, &mHeapListInterface) != EFI_SUCCESS) {
    mHeapListHandle = nullptr;
    ErrorStop(kErrorInstallHeapList);
  }
}

VOID RemoveHeapList() {
  if (mHeapListHandle != nullptr) {
    gBS->UninstallProtocolInterface(mHeapListHandle, &SMM_HEAP_LIST_PROTOCOL_GUID,
                                    &mHeapListInterface);
    mHeapListHandle = nullptr;
  }
}

UINT32 FindHeapBuffer(HEAP_LOOKUP_REQUEST *Request) {
  if (mHeapList != nullptr) {
    for (LIST_ENTRY *Link = mHeapList->ForwardLink; Link != mHeapList; Link = Link->ForwardLink) {
      auto *Node = reinterpret_cast<SMM_HEAP_NODE *>(Link);
      if (Node->Header.Handle == Request->Handle &&
          Node->Header.Signature == HEAP_RECORD_SIGNATURE) {
        Request->Buffer = Node + 1;
        Request->Size = Node->Header.Size;
        return HEAP_BUFFER_FOUND;
      }
    }
  }
  Request->Buffer = nullptr;
  Request->Size = 0;
  return HEAP_BUFFER_NOT_FOUND;
}
