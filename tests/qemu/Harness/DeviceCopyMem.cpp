#include "DeviceCopyMem.h"

#include <Library/IoLib.h>
#include <Library/UefiBootServicesTableLib.h>

#include "QemuTopology.h"

namespace {

// Type-1 header: the non-prefetchable memory window a bridge forwards (PCI-to-PCI Bridge
// Architecture Specification 3.2.5.8), address bits 31-20 in bits 15-4 of each register.
constexpr UINTN kMemoryBaseOffset = 0x20;
constexpr UINTN kMemoryLimitOffset = 0x22;

EFI_COPY_MEM mFirmwareCopyMem;

BOOLEAN InRootPortWindow(UINTN Address, UINTN Length) {
  for (const HARNESS_PCD_ANSWER &Bridge : HARNESS_BRIDGE_ANSWERS) {
    const UINTN Config = HARNESS_ECAM_BASE + (UINTN(Bridge.Value) << 12);
    const UINT64 Base = UINT64(MmioRead16(Config + kMemoryBaseOffset) & 0xFFF0) << 16;
    const UINT64 Limit = (UINT64(MmioRead16(Config + kMemoryLimitOffset) & 0xFFF0) << 16) | 0xFFFFF;
    if (Base <= Limit && Address >= Base && UINT64(Address) + Length - 1 <= Limit) {
      return TRUE;
    }
  }
  return FALSE;
}

VOID EFIAPI DeviceCopyMem(VOID *Destination, CONST VOID *Source, UINTN Length) {
  const UINTN Address = reinterpret_cast<UINTN>(Source);
  if (Length == 0 || !InRootPortWindow(Address, Length)) {
    mFirmwareCopyMem(Destination, Source, Length);
    return;
  }
  UINT8 *Out = static_cast<UINT8 *>(Destination);
  for (UINTN Index = 0; Index < Length; ++Index) {
    const UINTN Byte = Address + Index;
    Out[Index] = static_cast<UINT8>(MmioRead32(Byte & ~UINTN(3)) >> (8 * (Byte & 3)));
  }
}

} // namespace

EFI_STATUS InstallDeviceCopyMem() {
  mFirmwareCopyMem = gBS->CopyMem;
  gBS->CopyMem = DeviceCopyMem;
  // The table changed, so its checksum must be recomputed (UEFI 2.10 section 4.2).
  gBS->Hdr.CRC32 = 0;
  UINT32 Crc = 0;
  const EFI_STATUS Status = gBS->CalculateCrc32(gBS, gBS->Hdr.HeaderSize, &Crc);
  gBS->Hdr.CRC32 = Crc;
  return Status;
}
