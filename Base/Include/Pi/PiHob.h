// Hand-off blocks (PI 1.8 volume 3, chapter 5): the headers a HOB-list walker reads.
#pragma once
#include <Uefi.h>

using EFI_BOOT_MODE = UINT32;

inline constexpr UINT16 EFI_HOB_TYPE_HANDOFF = 0x0001;
inline constexpr UINT16 EFI_HOB_TYPE_MEMORY_ALLOCATION = 0x0002;
inline constexpr UINT16 EFI_HOB_TYPE_RESOURCE_DESCRIPTOR = 0x0003;
inline constexpr UINT16 EFI_HOB_TYPE_GUID_EXTENSION = 0x0004;
inline constexpr UINT16 EFI_HOB_TYPE_FV = 0x0005;
inline constexpr UINT16 EFI_HOB_TYPE_CPU = 0x0006;
inline constexpr UINT16 EFI_HOB_TYPE_MEMORY_POOL = 0x0007;
inline constexpr UINT16 EFI_HOB_TYPE_FV2 = 0x0009;
inline constexpr UINT16 EFI_HOB_TYPE_UEFI_CAPSULE = 0x000B;
inline constexpr UINT16 EFI_HOB_TYPE_FV3 = 0x000C;
inline constexpr UINT16 EFI_HOB_TYPE_UNUSED = 0xFFFE;
inline constexpr UINT16 EFI_HOB_TYPE_END_OF_HOB_LIST = 0xFFFF;

inline constexpr UINT32 EFI_HOB_HANDOFF_TABLE_VERSION = 0x0009;

struct EFI_HOB_GENERIC_HEADER {
  UINT16 HobType;
  UINT16 HobLength;
  UINT32 Reserved;
};
static_assert(sizeof(EFI_HOB_GENERIC_HEADER) == 8);
static_assert(__builtin_offsetof(EFI_HOB_GENERIC_HEADER, HobLength) == 2);

// The first HOB of every list.
struct EFI_HOB_HANDOFF_INFO_TABLE {
  EFI_HOB_GENERIC_HEADER Header;
  UINT32 Version;
  EFI_BOOT_MODE BootMode;
  EFI_PHYSICAL_ADDRESS EfiMemoryTop;
  EFI_PHYSICAL_ADDRESS EfiMemoryBottom;
  EFI_PHYSICAL_ADDRESS EfiFreeMemoryTop;
  EFI_PHYSICAL_ADDRESS EfiFreeMemoryBottom;
  EFI_PHYSICAL_ADDRESS EfiEndOfHobList;
};
static_assert(sizeof(EFI_HOB_HANDOFF_INFO_TABLE) == 56);
static_assert(__builtin_offsetof(EFI_HOB_HANDOFF_INFO_TABLE, EfiEndOfHobList) == 48);

// A GUID-named HOB; its data follows the header.
struct EFI_HOB_GUID_TYPE {
  EFI_HOB_GENERIC_HEADER Header;
  EFI_GUID Name;
};
static_assert(sizeof(EFI_HOB_GUID_TYPE) == 24);
static_assert(__builtin_offsetof(EFI_HOB_GUID_TYPE, Name) == 8);
