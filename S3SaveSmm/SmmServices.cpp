#include "SmmServices.h"
#include <Guids.h>
#include <Library/BaseMemoryLib.h>
#include <Library/UefiBootServicesTableLib.h>

EFI_SMM_SYSTEM_TABLE2 *gSmst;

namespace {

EFI_SMRAM_DESCRIPTOR *mSmramRanges;
// Zero unless GetCapabilities wrote the whole map: without one, no buffer counts as in or outside
// SMRAM.
UINTN mSmramRangeCount;
VOID *mHobList;
PCD_PROTOCOL *mPcd;

constexpr UINT64 kTopOfAddressSpace = ~UINT64(0);

// The last byte of [Address, Address + Length), or FALSE for an empty range or one that wraps
// past the top of the address space.
BOOLEAN LastByteOf(UINT64 Address, UINT64 Length, UINT64 *Last) {
  if (Length == 0 || Length - 1 > kTopOfAddressSpace - Address) {
    return FALSE;
  }
  *Last = Address + (Length - 1);
  return TRUE;
}

// The last byte of an SMRAM range; a range that would wrap ends at the top of the address space.
UINT64 LastByteOf(const EFI_SMRAM_DESCRIPTOR &Range) {
  UINT64 Last;
  return LastByteOf(Range.CpuStart, Range.PhysicalSize, &Last) ? Last : kTopOfAddressSpace;
}

// Of the ranges that hold Address, the one that reaches furthest; NULL when none does.
const EFI_SMRAM_DESCRIPTOR *RangeReachingFurthestFrom(UINT64 Address) {
  const EFI_SMRAM_DESCRIPTOR *Furthest = nullptr;
  for (UINTN Index = 0; Index < mSmramRangeCount; Index++) {
    const EFI_SMRAM_DESCRIPTOR &Range = mSmramRanges[Index];
    if (Range.PhysicalSize != 0 && Address >= Range.CpuStart && Address <= LastByteOf(Range) &&
        (Furthest == nullptr || LastByteOf(Range) > LastByteOf(*Furthest))) {
      Furthest = &Range;
    }
  }
  return Furthest;
}

} // namespace

VOID LocateSmst() {
  EFI_SMM_BASE2_PROTOCOL *SmmBase = nullptr;
  gBS->LocateProtocol(&EFI_SMM_BASE2_PROTOCOL_GUID, nullptr, reinterpret_cast<VOID **>(&SmmBase));
  if (SmmBase != nullptr) {
    SmmBase->GetSmstLocation(SmmBase, &gSmst);
  }
}

VOID LoadSmramRanges() {
  EFI_SMM_ACCESS2_PROTOCOL *SmmAccess = nullptr;
  gBS->LocateProtocol(&EFI_SMM_ACCESS2_PROTOCOL_GUID, nullptr,
                      reinterpret_cast<VOID **>(&SmmAccess));
  if (SmmAccess == nullptr) {
    return;
  }
  UINTN MapSize = 0;
  SmmAccess->GetCapabilities(SmmAccess, &MapSize, nullptr);
  const UINTN Allocated = MapSize;
  mSmramRanges = static_cast<EFI_SMRAM_DESCRIPTOR *>(AllocateSmramPool(Allocated));
  if (mSmramRanges == nullptr) {
    return;
  }
  // Only a map the query wrote whole counts: after a failure the buffer holds whatever the pool
  // left in it, and a map that grew between the two calls was not written at all.
  if (SmmAccess->GetCapabilities(SmmAccess, &MapSize, mSmramRanges) != EFI_SUCCESS ||
      MapSize > Allocated) {
    gSmst->SmmFreePool(mSmramRanges);
    mSmramRanges = nullptr;
    return;
  }
  mSmramRangeCount = MapSize / sizeof(EFI_SMRAM_DESCRIPTOR);
}

VOID ReleaseSmramRanges() {
  if (mSmramRanges == nullptr) {
    return;
  }
  ReleasePool(mSmramRanges);
  mSmramRanges = nullptr;
  mSmramRangeCount = 0;
}

VOID *AllocateSmramPool(UINTN Size) {
  VOID *Buffer = nullptr;
  if (gSmst == nullptr ||
      EFI_ERROR(gSmst->SmmAllocatePool(EfiRuntimeServicesData, Size, &Buffer))) {
    return nullptr;
  }
  return Buffer;
}

BOOLEAN AddressInSmram(EFI_PHYSICAL_ADDRESS Address) {
  for (UINTN Index = 0; Index < mSmramRangeCount; Index++) {
    const EFI_SMRAM_DESCRIPTOR &Range = mSmramRanges[Index];
    if (Address >= Range.CpuStart && Address - Range.CpuStart < Range.PhysicalSize) {
      return TRUE;
    }
  }
  return FALSE;
}

// Ranges that touch or overlap form one: the walk steps from range to range until it has covered
// the buffer's last byte. Each step takes a range that reaches further, so the walk needs at most
// one step per range.
BOOLEAN BufferInSmram(EFI_PHYSICAL_ADDRESS Address, UINT64 Length) {
  UINT64 Last;
  if (!LastByteOf(Address, Length, &Last)) {
    return FALSE;
  }
  UINT64 Next = Address;
  for (UINTN Step = 0; Step < mSmramRangeCount; Step++) {
    const EFI_SMRAM_DESCRIPTOR *Range = RangeReachingFurthestFrom(Next);
    if (Range == nullptr) {
      return FALSE;
    }
    if (LastByteOf(*Range) >= Last) {
      return TRUE;
    }
    Next = LastByteOf(*Range) + 1;
  }
  return FALSE;
}

BOOLEAN BufferOutsideSmram(EFI_PHYSICAL_ADDRESS Address, UINT64 Length) {
  UINT64 Last;
  if (mSmramRangeCount == 0 || !LastByteOf(Address, Length, &Last)) {
    return FALSE;
  }
  for (UINTN Index = 0; Index < mSmramRangeCount; Index++) {
    const EFI_SMRAM_DESCRIPTOR &Range = mSmramRanges[Index];
    if (Range.PhysicalSize != 0 && Address <= LastByteOf(Range) && Range.CpuStart <= Last) {
      return FALSE;
    }
  }
  return TRUE;
}

VOID ReleasePool(VOID *Buffer) {
  if (AddressInSmram(reinterpret_cast<UINTN>(Buffer))) {
    gSmst->SmmFreePool(Buffer);
  } else {
    gBS->FreePool(Buffer);
  }
}

VOID *FindHobList() {
  if (mHobList != nullptr) {
    return mHobList;
  }
  for (UINTN Index = 0; Index < gST->NumberOfTableEntries; Index++) {
    const EFI_CONFIGURATION_TABLE &Entry = gST->ConfigurationTable[Index];
    if (CompareGuid(&Entry.VendorGuid, &EFI_HOB_LIST_GUID)) {
      mHobList = Entry.VendorTable;
      break;
    }
  }
  return mHobList;
}

PCD_PROTOCOL *LocatePcdService() {
  if (mPcd == nullptr && EFI_ERROR(gBS->LocateProtocol(&PCD_PROTOCOL_GUID, nullptr,
                                                       reinterpret_cast<VOID **>(&mPcd)))) {
    mPcd = nullptr;
  }
  return mPcd;
}
