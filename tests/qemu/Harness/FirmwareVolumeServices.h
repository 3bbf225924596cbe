// The parts of the UEFI and PI interfaces the harness needs to hand a firmware volume from its own
// disk to the DXE core: the loaded image and file protocols (UEFI 2.10, 9.1 and 13.4-13.5), the
// firmware-file device path node (PI volume 3, 3.3.1) and the DXE services table (PI volume 2,
// 7.2). The harness is an x64 driver; the offsets are those of x64.
#pragma once
#include <Uefi.h>

// 5B1B31A1-9562-11D2-8E3F-00A0C969723B
inline constexpr EFI_GUID EFI_LOADED_IMAGE_PROTOCOL_GUID = {
    0x5B1B31A1, 0x9562, 0x11D2, {0x8E, 0x3F, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};
// 964E5B22-6459-11D2-8E39-00A0C969723B
inline constexpr EFI_GUID EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID = {
    0x964E5B22, 0x6459, 0x11D2, {0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};
// 05AD34BA-6F02-4214-952E-4DA0398E2BB9
inline constexpr EFI_GUID DXE_SERVICES_TABLE_GUID = {
    0x05AD34BA, 0x6F02, 0x4214, {0x95, 0x2E, 0x4D, 0xA0, 0x39, 0x8E, 0x2B, 0xB9}};

struct EFI_LOADED_IMAGE_PROTOCOL {
  UINT32 Revision;
  EFI_HANDLE ParentHandle;
  EFI_SYSTEM_TABLE *SystemTable;
  EFI_HANDLE DeviceHandle;
  EFI_DEVICE_PATH_PROTOCOL *FilePath;
  VOID *Reserved;
  UINT32 LoadOptionsSize;
  VOID *LoadOptions;
  VOID *ImageBase;
  UINT64 ImageSize;
  // Later members are not used.
};
static_assert(__builtin_offsetof(EFI_LOADED_IMAGE_PROTOCOL, DeviceHandle) == 24);
static_assert(__builtin_offsetof(EFI_LOADED_IMAGE_PROTOCOL, FilePath) == 32);
static_assert(__builtin_offsetof(EFI_LOADED_IMAGE_PROTOCOL, ImageBase) == 64);
static_assert(__builtin_offsetof(EFI_LOADED_IMAGE_PROTOCOL, ImageSize) == 72);

// MEDIA_DEVICE_PATH / MEDIA_PIWG_FW_FILE_DP: the file an image was loaded from in a volume.
inline constexpr UINT8 MEDIA_DEVICE_PATH = 0x04;
inline constexpr UINT8 MEDIA_PIWG_FW_FILE_DP = 0x06;
struct MEDIA_FW_VOL_FILEPATH_DEVICE_PATH {
  EFI_DEVICE_PATH_PROTOCOL Header;
  EFI_GUID FvFileName;
};
static_assert(sizeof(MEDIA_FW_VOL_FILEPATH_DEVICE_PATH) == 20);

struct EFI_FILE_PROTOCOL;
using EFI_FILE_OPEN = EFI_STATUS(EFIAPI *)(EFI_FILE_PROTOCOL *This, EFI_FILE_PROTOCOL **NewHandle,
                                           CONST CHAR16 *FileName, UINT64 OpenMode,
                                           UINT64 Attributes);
using EFI_FILE_CLOSE = EFI_STATUS(EFIAPI *)(EFI_FILE_PROTOCOL *This);
using EFI_FILE_READ = EFI_STATUS(EFIAPI *)(EFI_FILE_PROTOCOL *This, UINTN *BufferSize,
                                           VOID *Buffer);
inline constexpr UINT64 EFI_FILE_MODE_READ = 0x0000000000000001;

struct EFI_FILE_PROTOCOL {
  UINT64 Revision;
  EFI_FILE_OPEN Open;
  EFI_FILE_CLOSE Close;
  VOID *Delete;
  EFI_FILE_READ Read;
  // Later members are not used.
};
static_assert(__builtin_offsetof(EFI_FILE_PROTOCOL, Open) == 8);
static_assert(__builtin_offsetof(EFI_FILE_PROTOCOL, Read) == 32);

struct EFI_SIMPLE_FILE_SYSTEM_PROTOCOL;
using EFI_SIMPLE_FILE_SYSTEM_OPEN_VOLUME =
    EFI_STATUS(EFIAPI *)(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL *This, EFI_FILE_PROTOCOL **Root);
struct EFI_SIMPLE_FILE_SYSTEM_PROTOCOL {
  UINT64 Revision;
  EFI_SIMPLE_FILE_SYSTEM_OPEN_VOLUME OpenVolume;
};
static_assert(__builtin_offsetof(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL, OpenVolume) == 8);

using EFI_DISPATCH = EFI_STATUS(EFIAPI *)(VOID);
using EFI_PROCESS_FIRMWARE_VOLUME = EFI_STATUS(EFIAPI *)(CONST VOID *FirmwareVolumeHeader,
                                                         UINTN Size,
                                                         EFI_HANDLE *FirmwareVolumeHandle);

// The thirteen global coherency domain services come first; only the dispatcher services and
// ProcessFirmwareVolume are called.
struct EFI_DXE_SERVICES {
  EFI_TABLE_HEADER Hdr;
  VOID *CoherencyDomainServices[13];
  EFI_DISPATCH Dispatch;
  VOID *Schedule;
  VOID *Trust;
  EFI_PROCESS_FIRMWARE_VOLUME ProcessFirmwareVolume;
};
static_assert(__builtin_offsetof(EFI_DXE_SERVICES, Dispatch) == 0x80);
static_assert(__builtin_offsetof(EFI_DXE_SERVICES, ProcessFirmwareVolume) == 0x98);

// 220E73B6-6BDB-4413-8405-B974B108619A (PI volume 3, 3.4.1): a volume's files, for DXE code.
inline constexpr EFI_GUID EFI_FIRMWARE_VOLUME2_PROTOCOL_GUID = {
    0x220E73B6, 0x6BDB, 0x4413, {0x84, 0x05, 0xB9, 0x74, 0xB1, 0x08, 0x61, 0x9A}};
inline constexpr UINT8 EFI_SECTION_RAW = 0x19;

struct EFI_FIRMWARE_VOLUME2_PROTOCOL;
using EFI_FV_READ_SECTION = EFI_STATUS(EFIAPI *)(CONST EFI_FIRMWARE_VOLUME2_PROTOCOL *This,
                                                 CONST EFI_GUID *NameGuid, UINT8 SectionType,
                                                 UINTN SectionInstance, VOID **Buffer,
                                                 UINTN *BufferSize, UINT32 *AuthenticationStatus);
struct EFI_FIRMWARE_VOLUME2_PROTOCOL {
  VOID *GetVolumeAttributes;
  VOID *SetVolumeAttributes;
  VOID *ReadFile;
  EFI_FV_READ_SECTION ReadSection;
  // Later members are not used.
};
static_assert(__builtin_offsetof(EFI_FIRMWARE_VOLUME2_PROTOCOL, ReadSection) == 24);
