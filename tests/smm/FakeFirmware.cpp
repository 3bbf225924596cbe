#include "FakeFirmware.h"
#include <Library/UefiBootServicesTableLib.h>
#include <algorithm>
#include <cstring>

// In an image the entry glue defines these.
EFI_SYSTEM_TABLE *gST;
EFI_BOOT_SERVICES *gBS;

namespace {

FakeFirmware *gFake;

bool SameGuid(const EFI_GUID &A, const EFI_GUID &B) {
  return std::memcmp(&A, &B, sizeof A) == 0;
}

EFI_STATUS EFIAPI LocateProtocol(CONST EFI_GUID *Protocol, VOID *, VOID **Interface) {
  gFake->Lookups.push_back(*Protocol);
  for (const auto &[Guid, Found] : gFake->Protocols) {
    if (SameGuid(Guid, *Protocol)) {
      *Interface = Found;
      return EFI_SUCCESS;
    }
  }
  *Interface = nullptr;
  return EFI_NOT_FOUND;
}

EFI_STATUS EFIAPI FreePool(VOID *Buffer) {
  gFake->BootFrees.push_back(Buffer);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI GetSmstLocation(CONST EFI_SMM_BASE2_PROTOCOL *, EFI_SMM_SYSTEM_TABLE2 **Smst) {
  *Smst = &gFake->Smst;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI GetCapabilities(CONST EFI_SMM_ACCESS2_PROTOCOL *, UINTN *MapSize,
                                  EFI_SMRAM_DESCRIPTOR *Map) {
  gFake->CapabilityCalls.push_back({*MapSize, Map});
  if (gFake->CapabilityCalls.size() > gFake->FailCapabilitiesFrom) {
    return EFI_DEVICE_ERROR;
  }
  const UINTN Needed = gFake->SmramMap.size() * sizeof(EFI_SMRAM_DESCRIPTOR);
  const bool Fits = *MapSize >= Needed;
  *MapSize = Needed;
  if (!Fits) {
    return EFI_BUFFER_TOO_SMALL;
  }
  std::copy(gFake->SmramMap.begin(), gFake->SmramMap.end(), Map);
  return EFI_SUCCESS;
}

} // namespace

FakeFirmware::FakeFirmware() {
  gFake = this;
  BootServices.LocateProtocol = LocateProtocol;
  BootServices.FreePool = FreePool;
  SystemTable.BootServices = &BootServices;
  Smst.SmmAllocatePool = [](EFI_MEMORY_TYPE Type, UINTN Size, VOID **Buffer) EFIAPI {
    gFake->SmramAllocations.push_back({Type, Size});
    const size_t Rounded = (Size + 15) & ~size_t(15);
    if (gFake->FailSmramAllocation || Rounded > sizeof(gFake->SmramArena) - gFake->SmramArenaUsed) {
      return EFI_OUT_OF_RESOURCES;
    }
    *Buffer = gFake->SmramArena + gFake->SmramArenaUsed;
    gFake->SmramArenaUsed += Rounded;
    return EFI_SUCCESS;
  };
  Smst.SmmFreePool = [](VOID *Buffer) EFIAPI {
    gFake->SmramFrees.push_back(Buffer);
    return EFI_SUCCESS;
  };
  SmmBase.GetSmstLocation = GetSmstLocation;
  SmmAccess.GetCapabilities = GetCapabilities;
  AddProtocol(EFI_SMM_BASE2_PROTOCOL_GUID, &SmmBase);
  AddProtocol(EFI_SMM_ACCESS2_PROTOCOL_GUID, &SmmAccess);
  gST = &SystemTable;
  gBS = &BootServices;
}

FakeFirmware::~FakeFirmware() {
  gST = nullptr;
  gBS = nullptr;
  gFake = nullptr;
}

void FakeFirmware::AddProtocol(const EFI_GUID &Guid, VOID *Interface) {
  Protocols.push_back({Guid, Interface});
}

void FakeFirmware::RemoveProtocol(const EFI_GUID &Guid) {
  std::erase_if(Protocols, [&](const auto &Entry) { return SameGuid(Entry.first, Guid); });
}

size_t FakeFirmware::LookupsOf(const EFI_GUID &Guid) const {
  return std::ranges::count_if(Lookups, [&](const EFI_GUID &Seen) { return SameGuid(Seen, Guid); });
}

EFI_SMRAM_DESCRIPTOR FakeFirmware::SmramArenaRange() const {
  // PhysicalStart deliberately differs from CpuStart: only the processor's view counts.
  return {0x1000, reinterpret_cast<uintptr_t>(SmramArena), sizeof(SmramArena), 0};
}
