// PEI foundation services and the PPIs the PEI module uses (PI 1.8 volume 1, chapter 4 and
// section 6; volume 5 for SMBus). EFI_PEI_SERVICES keeps the member order PI 1.8 gives it.
#pragma once
#include <Uefi.h>
#include <Pi/PiHob.h>
#include <Pi/PiStatusCode.h>

using EFI_PEI_FILE_HANDLE = VOID *;
using EFI_PEI_FV_HANDLE = VOID *;
using EFI_FV_FILETYPE = UINT8;
using EFI_SECTION_TYPE = UINT8;

// Firmware-volume and CPU I/O interfaces are not used here; they stay opaque.
struct EFI_FV_FILE_INFO;
struct EFI_FV_FILE_INFO2;
struct EFI_FV_INFO;
struct EFI_PEI_CPU_IO_PPI;
struct EFI_PEI_PCI_CFG2_PPI;

struct EFI_PEI_SERVICES;
struct EFI_PEI_NOTIFY_DESCRIPTOR;

inline constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_PIC = 0x00000001;
inline constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_PPI = 0x00000010;
inline constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK = 0x00000020;
inline constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_NOTIFY_DISPATCH = 0x00000040;
inline constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_NOTIFY_TYPES = 0x00000060;
inline constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST = 0x80000000;

struct EFI_PEI_PPI_DESCRIPTOR {
  UINTN Flags;
  CONST EFI_GUID *Guid;
  VOID *Ppi;
};
static_assert(sizeof(EFI_PEI_PPI_DESCRIPTOR) == 3 * sizeof(void *));
static_assert(__builtin_offsetof(EFI_PEI_PPI_DESCRIPTOR, Ppi) == 2 * sizeof(void *));

using EFI_PEIM_NOTIFY_ENTRY_POINT = EFI_STATUS(EFIAPI *)(
    EFI_PEI_SERVICES **PeiServices, EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor, VOID *Ppi);

struct EFI_PEI_NOTIFY_DESCRIPTOR {
  UINTN Flags;
  CONST EFI_GUID *Guid;
  EFI_PEIM_NOTIFY_ENTRY_POINT Notify;
};
static_assert(sizeof(EFI_PEI_NOTIFY_DESCRIPTOR) == 3 * sizeof(void *));
static_assert(__builtin_offsetof(EFI_PEI_NOTIFY_DESCRIPTOR, Notify) == 2 * sizeof(void *));

// PEI services, in table order.
using EFI_PEI_INSTALL_PPI = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                 CONST EFI_PEI_PPI_DESCRIPTOR *PpiList);
using EFI_PEI_REINSTALL_PPI = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                   CONST EFI_PEI_PPI_DESCRIPTOR *OldPpi,
                                                   CONST EFI_PEI_PPI_DESCRIPTOR *NewPpi);
using EFI_PEI_LOCATE_PPI = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                CONST EFI_GUID *Guid, UINTN Instance,
                                                EFI_PEI_PPI_DESCRIPTOR **PpiDescriptor, VOID **Ppi);
using EFI_PEI_NOTIFY_PPI = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                CONST EFI_PEI_NOTIFY_DESCRIPTOR *NotifyList);
using EFI_PEI_GET_BOOT_MODE = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                   EFI_BOOT_MODE *BootMode);
using EFI_PEI_SET_BOOT_MODE = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                   EFI_BOOT_MODE BootMode);
using EFI_PEI_GET_HOB_LIST = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                  VOID **HobList);
using EFI_PEI_CREATE_HOB = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices, UINT16 Type,
                                                UINT16 Length, VOID **Hob);
using EFI_PEI_FFS_FIND_NEXT_VOLUME2 = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                           UINTN Instance,
                                                           EFI_PEI_FV_HANDLE *VolumeHandle);
using EFI_PEI_FFS_FIND_NEXT_FILE2 = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                         EFI_FV_FILETYPE SearchType,
                                                         EFI_PEI_FV_HANDLE FvHandle,
                                                         EFI_PEI_FILE_HANDLE *FileHandle);
using EFI_PEI_FFS_FIND_SECTION_DATA2 = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                            EFI_SECTION_TYPE SectionType,
                                                            EFI_PEI_FILE_HANDLE FileHandle,
                                                            VOID **SectionData);
using EFI_PEI_INSTALL_PEI_MEMORY = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                        EFI_PHYSICAL_ADDRESS MemoryBegin,
                                                        UINT64 MemoryLength);
using EFI_PEI_ALLOCATE_PAGES = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                    EFI_MEMORY_TYPE MemoryType, UINTN Pages,
                                                    EFI_PHYSICAL_ADDRESS *Memory);
using EFI_PEI_ALLOCATE_POOL = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices, UINTN Size,
                                                   VOID **Buffer);
using EFI_PEI_COPY_MEM = VOID(EFIAPI *)(VOID *Destination, VOID *Source, UINTN Length);
using EFI_PEI_SET_MEM = VOID(EFIAPI *)(VOID *Buffer, UINTN Size, UINT8 Value);
using EFI_PEI_REPORT_STATUS_CODE = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                        EFI_STATUS_CODE_TYPE Type,
                                                        EFI_STATUS_CODE_VALUE Value,
                                                        UINT32 Instance, CONST EFI_GUID *CallerId,
                                                        CONST EFI_STATUS_CODE_DATA *Data);
using EFI_PEI_RESET_SYSTEM = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices);
using EFI_PEI_FFS_FIND_BY_NAME = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *FileName,
                                                      EFI_PEI_FV_HANDLE VolumeHandle,
                                                      EFI_PEI_FILE_HANDLE *FileHandle);
using EFI_PEI_FFS_GET_FILE_INFO = EFI_STATUS(EFIAPI *)(EFI_PEI_FILE_HANDLE FileHandle,
                                                       EFI_FV_FILE_INFO *FileInfo);
using EFI_PEI_FFS_GET_VOLUME_INFO = EFI_STATUS(EFIAPI *)(EFI_PEI_FV_HANDLE VolumeHandle,
                                                         EFI_FV_INFO *VolumeInfo);
using EFI_PEI_REGISTER_FOR_SHADOW = EFI_STATUS(EFIAPI *)(EFI_PEI_FILE_HANDLE FileHandle);
using EFI_PEI_FFS_FIND_SECTION_DATA3 = EFI_STATUS(EFIAPI *)(
    CONST EFI_PEI_SERVICES **PeiServices, EFI_SECTION_TYPE SectionType, UINTN SectionInstance,
    EFI_PEI_FILE_HANDLE FileHandle, VOID **SectionData, UINT32 *AuthenticationStatus);
using EFI_PEI_FFS_GET_FILE_INFO2 = EFI_STATUS(EFIAPI *)(EFI_PEI_FILE_HANDLE FileHandle,
                                                        EFI_FV_FILE_INFO2 *FileInfo);
using EFI_PEI_RESET2_SYSTEM = VOID(EFIAPI *)(EFI_RESET_TYPE ResetType, EFI_STATUS ResetStatus,
                                             UINTN DataSize, VOID *ResetData);
using EFI_PEI_FREE_PAGES = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                                EFI_PHYSICAL_ADDRESS Memory, UINTN Pages);

struct EFI_PEI_SERVICES {
  EFI_TABLE_HEADER Hdr;
  EFI_PEI_INSTALL_PPI InstallPpi;
  EFI_PEI_REINSTALL_PPI ReInstallPpi;
  EFI_PEI_LOCATE_PPI LocatePpi;
  EFI_PEI_NOTIFY_PPI NotifyPpi;
  EFI_PEI_GET_BOOT_MODE GetBootMode;
  EFI_PEI_SET_BOOT_MODE SetBootMode;
  EFI_PEI_GET_HOB_LIST GetHobList;
  EFI_PEI_CREATE_HOB CreateHob;
  EFI_PEI_FFS_FIND_NEXT_VOLUME2 FfsFindNextVolume;
  EFI_PEI_FFS_FIND_NEXT_FILE2 FfsFindNextFile;
  EFI_PEI_FFS_FIND_SECTION_DATA2 FfsFindSectionData;
  EFI_PEI_INSTALL_PEI_MEMORY InstallPeiMemory;
  EFI_PEI_ALLOCATE_PAGES AllocatePages;
  EFI_PEI_ALLOCATE_POOL AllocatePool;
  EFI_PEI_COPY_MEM CopyMem;
  EFI_PEI_SET_MEM SetMem;
  EFI_PEI_REPORT_STATUS_CODE ReportStatusCode;
  EFI_PEI_RESET_SYSTEM ResetSystem;
  EFI_PEI_CPU_IO_PPI *CpuIo;
  EFI_PEI_PCI_CFG2_PPI *PciCfg;
  EFI_PEI_FFS_FIND_BY_NAME FfsFindFileByName;
  EFI_PEI_FFS_GET_FILE_INFO FfsGetFileInfo;
  EFI_PEI_FFS_GET_VOLUME_INFO FfsGetVolumeInfo;
  EFI_PEI_REGISTER_FOR_SHADOW RegisterForShadow;
  EFI_PEI_FFS_FIND_SECTION_DATA3 FindSectionData3;
  EFI_PEI_FFS_GET_FILE_INFO2 FfsGetFileInfo2;
  EFI_PEI_RESET2_SYSTEM ResetSystem2;
  EFI_PEI_FREE_PAGES FreePages;
};
static_assert(sizeof(EFI_PEI_SERVICES) == 24 + 28 * sizeof(void *));
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, InstallPpi) == 24);
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, LocatePpi) == ByPointerSize(0x28, 0x20));
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, NotifyPpi) == ByPointerSize(0x30, 0x24));
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, GetHobList) == ByPointerSize(0x48, 0x30));
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, AllocatePool) == ByPointerSize(0x80, 0x4C));
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, CpuIo) == ByPointerSize(0xA8, 0x60));
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, FreePages) == ByPointerSize(0xF0, 0x84));

// The entry point of a PEI module.
using EFI_PEIM_ENTRY_POINT2 = EFI_STATUS(EFIAPI *)(EFI_PEI_FILE_HANDLE FileHandle,
                                                   CONST EFI_PEI_SERVICES **PeiServices);

// Read-only variable access (PI 1.8 volume 1, section 6.3.2).
struct EFI_PEI_READ_ONLY_VARIABLE2_PPI;
using EFI_PEI_GET_VARIABLE2 = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_READ_ONLY_VARIABLE2_PPI *This,
                                                   CONST CHAR16 *VariableName,
                                                   CONST EFI_GUID *VariableGuid, UINT32 *Attributes,
                                                   UINTN *DataSize, VOID *Data);
using EFI_PEI_GET_NEXT_VARIABLE_NAME2 =
    EFI_STATUS(EFIAPI *)(CONST EFI_PEI_READ_ONLY_VARIABLE2_PPI *This, UINTN *VariableNameSize,
                         CHAR16 *VariableName, EFI_GUID *VariableGuid);
struct EFI_PEI_READ_ONLY_VARIABLE2_PPI {
  EFI_PEI_GET_VARIABLE2 GetVariable;
  EFI_PEI_GET_NEXT_VARIABLE_NAME2 NextVariableName;
};
static_assert(sizeof(EFI_PEI_READ_ONLY_VARIABLE2_PPI) == 2 * sizeof(void *));

// Stall (PI 1.8 volume 1, section 6.3.6).
struct EFI_PEI_STALL_PPI;
using EFI_PEI_STALL = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SERVICES **PeiServices,
                                           CONST EFI_PEI_STALL_PPI *This, UINTN Microseconds);
struct EFI_PEI_STALL_PPI {
  UINTN Resolution;
  EFI_PEI_STALL Stall;
};
static_assert(sizeof(EFI_PEI_STALL_PPI) == 2 * sizeof(void *));
static_assert(__builtin_offsetof(EFI_PEI_STALL_PPI, Stall) == sizeof(void *));

// SMBus host controller (PI 1.8 volume 5, sections 5.1 and 5.4).
struct EFI_SMBUS_DEVICE_ADDRESS {
  UINTN SmbusDeviceAddress : 7;
};
static_assert(sizeof(EFI_SMBUS_DEVICE_ADDRESS) == sizeof(UINTN));

using EFI_SMBUS_DEVICE_COMMAND = UINTN;

enum EFI_SMBUS_OPERATION : UINT32 {
  EfiSmbusQuickRead,
  EfiSmbusQuickWrite,
  EfiSmbusReceiveByte,
  EfiSmbusSendByte,
  EfiSmbusReadByte,
  EfiSmbusWriteByte,
  EfiSmbusReadWord,
  EfiSmbusWriteWord,
  EfiSmbusReadBlock,
  EfiSmbusWriteBlock,
  EfiSmbusProcessCall,
  EfiSmbusBWBRProcessCall
};
static_assert(EfiSmbusReadByte == 4 && EfiSmbusWriteByte == 5);

struct EFI_SMBUS_UDID {
  UINT32 VendorSpecificId;
  UINT16 SubsystemDeviceId;
  UINT16 SubsystemVendorId;
  UINT16 Interface;
  UINT16 DeviceId;
  UINT16 VendorId;
  UINT8 VendorRevision;
  UINT8 DeviceCapabilities;
};
static_assert(sizeof(EFI_SMBUS_UDID) == 16);

struct EFI_SMBUS_DEVICE_MAP {
  EFI_SMBUS_DEVICE_ADDRESS SmbusDeviceAddress;
  EFI_SMBUS_UDID SmbusDeviceUdid;
};

struct EFI_PEI_SMBUS2_PPI;
using EFI_PEI_SMBUS2_PPI_EXECUTE_OPERATION =
    EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SMBUS2_PPI *This, EFI_SMBUS_DEVICE_ADDRESS SlaveAddress,
                         EFI_SMBUS_DEVICE_COMMAND Command, EFI_SMBUS_OPERATION Operation,
                         BOOLEAN PecCheck, UINTN *Length, VOID *Buffer);
using EFI_PEI_SMBUS2_PPI_ARP_DEVICE = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SMBUS2_PPI *This,
                                                           BOOLEAN ArpAll,
                                                           EFI_SMBUS_UDID *SmbusUdid,
                                                           EFI_SMBUS_DEVICE_ADDRESS *SlaveAddress);
using EFI_PEI_SMBUS2_PPI_GET_ARP_MAP = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SMBUS2_PPI *This,
                                                            UINTN *Length,
                                                            EFI_SMBUS_DEVICE_MAP **SmbusDeviceMap);
using EFI_PEI_SMBUS_NOTIFY2_FUNCTION = EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SMBUS2_PPI *SmbusPpi,
                                                            EFI_SMBUS_DEVICE_ADDRESS SlaveAddress,
                                                            UINTN Data);
using EFI_PEI_SMBUS2_PPI_NOTIFY =
    EFI_STATUS(EFIAPI *)(CONST EFI_PEI_SMBUS2_PPI *This, EFI_SMBUS_DEVICE_ADDRESS SlaveAddress,
                         UINTN Data, EFI_PEI_SMBUS_NOTIFY2_FUNCTION NotifyFunction);
struct EFI_PEI_SMBUS2_PPI {
  EFI_PEI_SMBUS2_PPI_EXECUTE_OPERATION Execute;
  EFI_PEI_SMBUS2_PPI_ARP_DEVICE ArpDevice;
  EFI_PEI_SMBUS2_PPI_GET_ARP_MAP GetArpMap;
  EFI_PEI_SMBUS2_PPI_NOTIFY Notify;
  EFI_GUID Identifier;
};
static_assert(sizeof(EFI_PEI_SMBUS2_PPI) == 4 * sizeof(void *) + 16);
static_assert(__builtin_offsetof(EFI_PEI_SMBUS2_PPI, Identifier) == 4 * sizeof(void *));
