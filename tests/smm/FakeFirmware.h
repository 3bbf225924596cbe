// Just enough of the boot services, the SMST and the SMM base and access protocols to drive the
// SMRAM services of the SMM driver; every call is recorded.
#pragma once
#include <Guids.h>
#include <Pi/PiSmm.h>
#include <Uefi.h>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

struct FakeFirmware {
  EFI_BOOT_SERVICES BootServices{};
  EFI_SYSTEM_TABLE SystemTable{};
  EFI_SMM_SYSTEM_TABLE2 Smst{};
  EFI_SMM_BASE2_PROTOCOL SmmBase{};
  EFI_SMM_ACCESS2_PROTOCOL SmmAccess{};

  // Protocols that LocateProtocol finds.
  std::vector<std::pair<EFI_GUID, VOID *>> Protocols;
  std::vector<EFI_GUID> Lookups;

  std::vector<EFI_SMRAM_DESCRIPTOR> SmramMap;
  // GetCapabilities calls from this one (0-based) on fail with EFI_DEVICE_ERROR, writing nothing.
  size_t FailCapabilitiesFrom = SIZE_MAX;
  // (map size passed in, buffer) of each GetCapabilities call.
  std::vector<std::pair<UINTN, VOID *>> CapabilityCalls;

  // SMRAM pool allocations come from here; SmramArenaRange() describes it.
  alignas(16) uint8_t SmramArena[0x1000];
  size_t SmramArenaUsed = 0;
  bool FailSmramAllocation = false;
  std::vector<std::pair<EFI_MEMORY_TYPE, UINTN>> SmramAllocations;
  std::vector<VOID *> SmramFrees;
  std::vector<VOID *> BootFrees;

  // Installs the fake as gBS/gST with the SMM base and access protocols available.
  FakeFirmware();
  ~FakeFirmware();
  void AddProtocol(const EFI_GUID &Guid, VOID *Interface);
  void RemoveProtocol(const EFI_GUID &Guid);
  size_t LookupsOf(const EFI_GUID &Guid) const;
  EFI_SMRAM_DESCRIPTOR SmramArenaRange() const;
};
