// The PEI structures as IA32 code sees them: 4-byte pointers and UINTN, members in the order
// PI 1.8 volume 1 (chapters 4 to 6) and volume 5 (SMBus) give them, with the offsets checked
// against the IA32 column of the base layer's layouts. The image engine builds these in board
// memory for a 32-bit PEI image; the simulator itself keeps the host layouts.
#pragma once
#include <Uefi.h>

#include <cstddef>
#include <cstdint>

namespace boardsim::ia32 {

using Pointer = uint32_t;

struct PpiDescriptor {
  uint32_t Flags;
  Pointer Guid;
  Pointer Ppi;
};
static_assert(sizeof(PpiDescriptor) == 12 && offsetof(PpiDescriptor, Ppi) == 8);

struct NotifyDescriptor {
  uint32_t Flags;
  Pointer Guid;
  Pointer Notify;
};
static_assert(sizeof(NotifyDescriptor) == 12 && offsetof(NotifyDescriptor, Notify) == 8);

struct PeiServices {
  EFI_TABLE_HEADER Hdr;
  Pointer InstallPpi, ReInstallPpi, LocatePpi, NotifyPpi, GetBootMode, SetBootMode, GetHobList,
      CreateHob, FfsFindNextVolume, FfsFindNextFile, FfsFindSectionData, InstallPeiMemory,
      AllocatePages, AllocatePool, CopyMem, SetMem, ReportStatusCode, ResetSystem, CpuIo, PciCfg,
      FfsFindFileByName, FfsGetFileInfo, FfsGetVolumeInfo, RegisterForShadow, FindSectionData3,
      FfsGetFileInfo2, ResetSystem2, FreePages;
};
static_assert(sizeof(EFI_TABLE_HEADER) == 24);
static_assert(sizeof(PeiServices) == 24 + 28 * 4);
static_assert(offsetof(PeiServices, InstallPpi) == 24);
static_assert(offsetof(PeiServices, LocatePpi) == 0x20);
static_assert(offsetof(PeiServices, NotifyPpi) == 0x24);
static_assert(offsetof(PeiServices, GetHobList) == 0x30);
static_assert(offsetof(PeiServices, AllocatePool) == 0x4C);
static_assert(offsetof(PeiServices, CpuIo) == 0x60);
static_assert(offsetof(PeiServices, FreePages) == 0x84);

// PCD_PPI: 31 members, SetSku first, GetNextTokenSpace last.
struct PcdPpi {
  Pointer SetSku, Get8, Get16, Get32, Get64, GetPtr, GetBool, GetSize, Get8Ex, Get16Ex, Get32Ex,
      Get64Ex, GetPtrEx, GetBoolEx, GetSizeEx, Set8, Set16, Set32, Set64, SetPtr, SetBool, Set8Ex,
      Set16Ex, Set32Ex, Set64Ex, SetPtrEx, SetBoolEx, CallbackOnSet, CancelCallback, GetNextToken,
      GetNextTokenSpace;
};
static_assert(sizeof(PcdPpi) == 31 * 4);
static_assert(offsetof(PcdPpi, Set8) == 15 * 4 && offsetof(PcdPpi, Set64) == 18 * 4);

struct ReadOnlyVariable2Ppi {
  Pointer GetVariable, NextVariableName;
};
static_assert(sizeof(ReadOnlyVariable2Ppi) == 8);

struct StallPpi {
  uint32_t Resolution;
  Pointer Stall;
};
static_assert(sizeof(StallPpi) == 8 && offsetof(StallPpi, Stall) == 4);

struct Smbus2Ppi {
  Pointer Execute, ArpDevice, GetArpMap, Notify;
  EFI_GUID Identifier;
};
static_assert(sizeof(Smbus2Ppi) == 32 && offsetof(Smbus2Ppi, Identifier) == 16);

struct BmcTransportPpi {
  Pointer Other0, Other1, Other2, SendBmcCommand;
};
static_assert(offsetof(BmcTransportPpi, SendBmcCommand) == 12);

struct BoardTableSourcePpi {
  Pointer Other0, GetSegmentTables;
};
static_assert(offsetof(BoardTableSourcePpi, GetSegmentTables) == 4);

struct BoardTableApplyPpi {
  Pointer ApplySegmentTable;
};
static_assert(sizeof(BoardTableApplyPpi) == 4);

// EFI_STATUS is UINTN: on IA32 the error bit is bit 31.
inline constexpr uint32_t kErrorBit = 0x80000000u;
constexpr uint32_t NarrowStatus(uint64_t status) {
  return (status >> 63 ? kErrorBit : 0) | static_cast<uint32_t>(status & 0x7FFFFFFF);
}
constexpr uint64_t WidenStatus(uint32_t status) {
  return (status & kErrorBit ? uint64_t{1} << 63 : 0) | (status & ~kErrorBit);
}
static_assert(WidenStatus(NarrowStatus(EFI_NOT_FOUND)) == EFI_NOT_FOUND);
static_assert(NarrowStatus(EFI_NOT_FOUND) == 0x8000000E && WidenStatus(0) == EFI_SUCCESS);

} // namespace boardsim::ia32
