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
// No list this module builds comes near this many nodes; a longer walk is going round a loop.
constexpr UINTN kMaxHeapNodes = 0x10000;

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

// HOB lengths are the producer's: an odd one leaves the next HOB unaligned, so headers are copied
// out byte by byte instead of being read in place.
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
    EFI_HOB_GENERIC_HEADER Header;
    CopyMem(&Header, Hob, sizeof(Header));
    // A length below the header's own would never advance the walk, and one that reaches past
    // the end HOB would leave the list.
    if (Header.HobType == EFI_HOB_TYPE_END_OF_HOB_LIST ||
        Header.HobLength < sizeof(EFI_HOB_GENERIC_HEADER) ||
        (End != nullptr && Header.HobLength > UINTN(End - Hob))) {
      return;
    }
    if (Header.HobType == EFI_HOB_TYPE_GUID_EXTENSION &&
        Header.HobLength >= sizeof(HEAP_TRANSFER_HOB)) {
      HEAP_TRANSFER_HOB Transfer;
      CopyMem(&Transfer, Hob, sizeof(Transfer));
      const HEAP_RECORD_HEADER &Record = Transfer.Record;
      // The record and its payload must lie within the HOB.
      if (CompareGuid(&Transfer.Header.Name, &HEAP_TRANSFER_HOB_GUID) &&
          Record.Signature == HEAP_RECORD_SIGNATURE &&
          Record.CopyToSmram == HEAP_RECORD_COPY_TO_SMRAM &&
          Record.Size <= Header.HobLength - sizeof(HEAP_TRANSFER_HOB)) {
        SMM_HEAP_NODE *Node;
        if (AddHeapNode(&Record, &Node) == EFI_SUCCESS && Record.Size != 0) {
          CopyMem(Node + 1, Hob + sizeof(HEAP_TRANSFER_HOB), Record.Size);
        }
      }
    }
    Hob += Header.HobLength;
  }
}

// A list link is followed only to a node that lies, with its payload, in SMRAM, or back to the
// head: any DXE driver can install SMM_HEAP_LIST_PROTOCOL, and SMM code must not be steered
// outside SMRAM by what it finds there.
BOOLEAN LinkInSmram(const LIST_ENTRY *Link, const LIST_ENTRY *Head) {
  if (Link == Head) {
    return TRUE;
  }
  if (!BufferInSmram(UINTN(Link), sizeof(SMM_HEAP_NODE))) {
    return FALSE;
  }
  return BufferInSmram(UINTN(Link),
                       sizeof(SMM_HEAP_NODE) +
                           UINT64(reinterpret_cast<const SMM_HEAP_NODE *>(Link)->Header.Size));
}

BOOLEAN HeapListInSmram(const SMM_HEAP_LIST_PROTOCOL *Interface) {
  return Interface != nullptr && BufferInSmram(UINTN(Interface), sizeof(*Interface)) &&
         LinkInSmram(Interface->HeapList.ForwardLink, &Interface->HeapList) &&
         LinkInSmram(Interface->HeapList.BackLink, &Interface->HeapList);
}

// The shared list of an image that started earlier. The first interface found is normally it;
// when that one does not lie in SMRAM, every handle carrying the protocol is looked at, so that
// an interface installed from outside SMRAM cannot hide the real one.
SMM_HEAP_LIST_PROTOCOL *FindSharedHeapList() {
  SMM_HEAP_LIST_PROTOCOL *Found = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&SMM_HEAP_LIST_PROTOCOL_GUID, nullptr,
                                    reinterpret_cast<VOID **>(&Found)))) {
    return nullptr;
  }
  if (HeapListInSmram(Found)) {
    return Found;
  }
  UINTN Count = 0;
  EFI_HANDLE *Handles = nullptr;
  if (EFI_ERROR(gBS->LocateHandleBuffer(ByProtocol, &SMM_HEAP_LIST_PROTOCOL_GUID, nullptr, &Count,
                                        &Handles))) {
    return nullptr;
  }
  Found = nullptr;
  for (UINTN Index = 0; Index < Count && Found == nullptr; Index++) {
    SMM_HEAP_LIST_PROTOCOL *Interface = nullptr;
    if (gBS->HandleProtocol(Handles[Index], &SMM_HEAP_LIST_PROTOCOL_GUID,
                            reinterpret_cast<VOID **>(&Interface)) == EFI_SUCCESS &&
        HeapListInSmram(Interface)) {
      Found = Interface;
    }
  }
  gBS->FreePool(Handles);
  return Found;
}

} // namespace

VOID SetUpHeapList() {
  SMM_HEAP_LIST_PROTOCOL *Found = FindSharedHeapList();
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
    UINTN Steps = 0;
    for (LIST_ENTRY *Link = mHeapList->ForwardLink;
         Link != mHeapList && Steps < kMaxHeapNodes && LinkInSmram(Link, mHeapList);
         Link = Link->ForwardLink, Steps++) {
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
