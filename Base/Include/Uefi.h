// UEFI system table, boot services and runtime services (UEFI 2.10 chapters 4, 7 and 8), with
// the types their members take. Member order and sizes are those UEFI 2.10 gives; the
// static_asserts pin the offsets that modules and the simulator rely on, for 4- and 8-byte
// pointers.
#pragma once
#include <Base.h>

// Picks the expected value for the pointer size of the build.
constexpr UINTN ByPointerSize(UINTN Bytes64, UINTN Bytes32) {
  return sizeof(void *) == 8 ? Bytes64 : Bytes32;
}

struct LIST_ENTRY {
  LIST_ENTRY *ForwardLink;
  LIST_ENTRY *BackLink;
};
static_assert(sizeof(LIST_ENTRY) == 2 * sizeof(void *));

enum EFI_MEMORY_TYPE : UINT32 {
  EfiReservedMemoryType,
  EfiLoaderCode,
  EfiLoaderData,
  EfiBootServicesCode,
  EfiBootServicesData,
  EfiRuntimeServicesCode,
  EfiRuntimeServicesData,
  EfiConventionalMemory,
  EfiUnusableMemory,
  EfiACPIReclaimMemory,
  EfiACPIMemoryNVS,
  EfiMemoryMappedIO,
  EfiMemoryMappedIOPortSpace,
  EfiPalCode,
  EfiPersistentMemory,
  EfiUnacceptedMemoryType,
  EfiMaxMemoryType
};
static_assert(EfiBootServicesData == 4 && EfiRuntimeServicesData == 6);

enum EFI_ALLOCATE_TYPE : UINT32 {
  AllocateAnyPages,
  AllocateMaxAddress,
  AllocateAddress,
  MaxAllocateType
};
enum EFI_TIMER_DELAY : UINT32 { TimerCancel, TimerPeriodic, TimerRelative };
enum EFI_INTERFACE_TYPE : UINT32 { EFI_NATIVE_INTERFACE };
enum EFI_LOCATE_SEARCH_TYPE : UINT32 { AllHandles, ByRegisterNotify, ByProtocol };
enum EFI_RESET_TYPE : UINT32 {
  EfiResetCold,
  EfiResetWarm,
  EfiResetShutdown,
  EfiResetPlatformSpecific
};

inline constexpr EFI_TPL TPL_APPLICATION = 4;
inline constexpr EFI_TPL TPL_CALLBACK = 8;
inline constexpr EFI_TPL TPL_NOTIFY = 16;
inline constexpr EFI_TPL TPL_HIGH_LEVEL = 31;

inline constexpr UINT32 EVT_TIMER = 0x80000000;
inline constexpr UINT32 EVT_RUNTIME = 0x40000000;
inline constexpr UINT32 EVT_NOTIFY_WAIT = 0x00000100;
inline constexpr UINT32 EVT_NOTIFY_SIGNAL = 0x00000200;
inline constexpr UINT32 EVT_SIGNAL_EXIT_BOOT_SERVICES = 0x00000201;
inline constexpr UINT32 EVT_SIGNAL_VIRTUAL_ADDRESS_CHANGE = 0x60000202;

// OpenProtocol attributes.
inline constexpr UINT32 EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL = 0x00000001;
inline constexpr UINT32 EFI_OPEN_PROTOCOL_GET_PROTOCOL = 0x00000002;
inline constexpr UINT32 EFI_OPEN_PROTOCOL_TEST_PROTOCOL = 0x00000004;
inline constexpr UINT32 EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER = 0x00000008;
inline constexpr UINT32 EFI_OPEN_PROTOCOL_BY_DRIVER = 0x00000010;
inline constexpr UINT32 EFI_OPEN_PROTOCOL_EXCLUSIVE = 0x00000020;

// Variable attributes.
inline constexpr UINT32 EFI_VARIABLE_NON_VOLATILE = 0x00000001;
inline constexpr UINT32 EFI_VARIABLE_BOOTSERVICE_ACCESS = 0x00000002;
inline constexpr UINT32 EFI_VARIABLE_RUNTIME_ACCESS = 0x00000004;

inline constexpr UINT64 EFI_SYSTEM_TABLE_SIGNATURE = 0x5453595320494249;     // "IBI SYST"
inline constexpr UINT64 EFI_BOOT_SERVICES_SIGNATURE = 0x56524553544f4f42;    // "BOOTSERV"
inline constexpr UINT64 EFI_RUNTIME_SERVICES_SIGNATURE = 0x56524553544e5552; // "RUNTSERV"

struct EFI_TABLE_HEADER {
  UINT64 Signature;
  UINT32 Revision;
  UINT32 HeaderSize;
  UINT32 CRC32;
  UINT32 Reserved;
};
static_assert(sizeof(EFI_TABLE_HEADER) == 24);

struct EFI_MEMORY_DESCRIPTOR {
  UINT32 Type;
  EFI_PHYSICAL_ADDRESS PhysicalStart;
  EFI_VIRTUAL_ADDRESS VirtualStart;
  UINT64 NumberOfPages;
  UINT64 Attribute;
};
static_assert(sizeof(EFI_MEMORY_DESCRIPTOR) == 40 &&
              __builtin_offsetof(EFI_MEMORY_DESCRIPTOR, PhysicalStart) == 8);

struct EFI_DEVICE_PATH_PROTOCOL {
  UINT8 Type;
  UINT8 SubType;
  UINT8 Length[2];
};

struct EFI_OPEN_PROTOCOL_INFORMATION_ENTRY {
  EFI_HANDLE AgentHandle;
  EFI_HANDLE ControllerHandle;
  UINT32 Attributes;
  UINT32 OpenCount;
};

struct EFI_CONFIGURATION_TABLE {
  EFI_GUID VendorGuid;
  VOID *VendorTable;
};
static_assert(sizeof(EFI_CONFIGURATION_TABLE) == ByPointerSize(24, 20));
static_assert(__builtin_offsetof(EFI_CONFIGURATION_TABLE, VendorTable) == 16);

// Consoles and capsules are not used by this firmware; their interfaces stay opaque.
struct EFI_SIMPLE_TEXT_INPUT_PROTOCOL;
struct EFI_TIME_CAPABILITIES;
struct EFI_CAPSULE_HEADER;

// Simple text output (UEFI 2.10 section 12.4): the first two members are typed, the rest of the
// table is passed through untouched.
struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL;
using EFI_TEXT_RESET = EFI_STATUS(EFIAPI *)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *This,
                                            BOOLEAN ExtendedVerification);
using EFI_TEXT_STRING = EFI_STATUS(EFIAPI *)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *This,
                                             CONST CHAR16 *String);
struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL {
  EFI_TEXT_RESET Reset;
  EFI_TEXT_STRING OutputString;
  VOID *TestString;
  VOID *QueryMode;
  VOID *SetMode;
  VOID *SetAttribute;
  VOID *ClearScreen;
  VOID *SetCursorPosition;
  VOID *EnableCursor;
  VOID *Mode;
};
static_assert(sizeof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL) == 10 * sizeof(void *));

using EFI_EVENT_NOTIFY = VOID(EFIAPI *)(EFI_EVENT Event, VOID *Context);

// Boot services (UEFI 2.10 section 4.4), in table order.
using EFI_RAISE_TPL = EFI_TPL(EFIAPI *)(EFI_TPL NewTpl);
using EFI_RESTORE_TPL = VOID(EFIAPI *)(EFI_TPL OldTpl);
using EFI_ALLOCATE_PAGES = EFI_STATUS(EFIAPI *)(EFI_ALLOCATE_TYPE Type, EFI_MEMORY_TYPE MemoryType,
                                                UINTN Pages, EFI_PHYSICAL_ADDRESS *Memory);
using EFI_FREE_PAGES = EFI_STATUS(EFIAPI *)(EFI_PHYSICAL_ADDRESS Memory, UINTN Pages);
using EFI_GET_MEMORY_MAP = EFI_STATUS(EFIAPI *)(UINTN *MemoryMapSize,
                                                EFI_MEMORY_DESCRIPTOR *MemoryMap, UINTN *MapKey,
                                                UINTN *DescriptorSize, UINT32 *DescriptorVersion);
using EFI_ALLOCATE_POOL = EFI_STATUS(EFIAPI *)(EFI_MEMORY_TYPE PoolType, UINTN Size, VOID **Buffer);
using EFI_FREE_POOL = EFI_STATUS(EFIAPI *)(VOID *Buffer);
using EFI_CREATE_EVENT = EFI_STATUS(EFIAPI *)(UINT32 Type, EFI_TPL NotifyTpl,
                                              EFI_EVENT_NOTIFY NotifyFunction, VOID *NotifyContext,
                                              EFI_EVENT *Event);
using EFI_SET_TIMER = EFI_STATUS(EFIAPI *)(EFI_EVENT Event, EFI_TIMER_DELAY Type,
                                           UINT64 TriggerTime);
using EFI_WAIT_FOR_EVENT = EFI_STATUS(EFIAPI *)(UINTN NumberOfEvents, EFI_EVENT *Event,
                                                UINTN *Index);
using EFI_SIGNAL_EVENT = EFI_STATUS(EFIAPI *)(EFI_EVENT Event);
using EFI_CLOSE_EVENT = EFI_STATUS(EFIAPI *)(EFI_EVENT Event);
using EFI_CHECK_EVENT = EFI_STATUS(EFIAPI *)(EFI_EVENT Event);
using EFI_INSTALL_PROTOCOL_INTERFACE = EFI_STATUS(EFIAPI *)(EFI_HANDLE *Handle,
                                                            CONST EFI_GUID *Protocol,
                                                            EFI_INTERFACE_TYPE InterfaceType,
                                                            VOID *Interface);
using EFI_REINSTALL_PROTOCOL_INTERFACE = EFI_STATUS(EFIAPI *)(EFI_HANDLE Handle,
                                                              CONST EFI_GUID *Protocol,
                                                              VOID *OldInterface,
                                                              VOID *NewInterface);
using EFI_UNINSTALL_PROTOCOL_INTERFACE = EFI_STATUS(EFIAPI *)(EFI_HANDLE Handle,
                                                              CONST EFI_GUID *Protocol,
                                                              VOID *Interface);
using EFI_HANDLE_PROTOCOL = EFI_STATUS(EFIAPI *)(EFI_HANDLE Handle, CONST EFI_GUID *Protocol,
                                                 VOID **Interface);
using EFI_REGISTER_PROTOCOL_NOTIFY = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Protocol, EFI_EVENT Event,
                                                          VOID **Registration);
using EFI_LOCATE_HANDLE = EFI_STATUS(EFIAPI *)(EFI_LOCATE_SEARCH_TYPE SearchType,
                                               CONST EFI_GUID *Protocol, VOID *SearchKey,
                                               UINTN *BufferSize, EFI_HANDLE *Buffer);
using EFI_LOCATE_DEVICE_PATH = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Protocol,
                                                    EFI_DEVICE_PATH_PROTOCOL **DevicePath,
                                                    EFI_HANDLE *Device);
using EFI_INSTALL_CONFIGURATION_TABLE = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Guid, VOID *Table);
using EFI_IMAGE_LOAD = EFI_STATUS(EFIAPI *)(BOOLEAN BootPolicy, EFI_HANDLE ParentImageHandle,
                                            EFI_DEVICE_PATH_PROTOCOL *DevicePath,
                                            VOID *SourceBuffer, UINTN SourceSize,
                                            EFI_HANDLE *ImageHandle);
using EFI_IMAGE_START = EFI_STATUS(EFIAPI *)(EFI_HANDLE ImageHandle, UINTN *ExitDataSize,
                                             CHAR16 **ExitData);
using EFI_EXIT = EFI_STATUS(EFIAPI *)(EFI_HANDLE ImageHandle, EFI_STATUS ExitStatus,
                                      UINTN ExitDataSize, CHAR16 *ExitData);
using EFI_IMAGE_UNLOAD = EFI_STATUS(EFIAPI *)(EFI_HANDLE ImageHandle);
using EFI_EXIT_BOOT_SERVICES = EFI_STATUS(EFIAPI *)(EFI_HANDLE ImageHandle, UINTN MapKey);
using EFI_GET_NEXT_MONOTONIC_COUNT = EFI_STATUS(EFIAPI *)(UINT64 *Count);
using EFI_STALL = EFI_STATUS(EFIAPI *)(UINTN Microseconds);
using EFI_SET_WATCHDOG_TIMER = EFI_STATUS(EFIAPI *)(UINTN Timeout, UINT64 WatchdogCode,
                                                    UINTN DataSize, CHAR16 *WatchdogData);
using EFI_CONNECT_CONTROLLER = EFI_STATUS(EFIAPI *)(EFI_HANDLE ControllerHandle,
                                                    EFI_HANDLE *DriverImageHandle,
                                                    EFI_DEVICE_PATH_PROTOCOL *RemainingDevicePath,
                                                    BOOLEAN Recursive);
using EFI_DISCONNECT_CONTROLLER = EFI_STATUS(EFIAPI *)(EFI_HANDLE ControllerHandle,
                                                       EFI_HANDLE DriverImageHandle,
                                                       EFI_HANDLE ChildHandle);
using EFI_OPEN_PROTOCOL = EFI_STATUS(EFIAPI *)(EFI_HANDLE Handle, CONST EFI_GUID *Protocol,
                                               VOID **Interface, EFI_HANDLE AgentHandle,
                                               EFI_HANDLE ControllerHandle, UINT32 Attributes);
using EFI_CLOSE_PROTOCOL = EFI_STATUS(EFIAPI *)(EFI_HANDLE Handle, CONST EFI_GUID *Protocol,
                                                EFI_HANDLE AgentHandle,
                                                EFI_HANDLE ControllerHandle);
using EFI_OPEN_PROTOCOL_INFORMATION =
    EFI_STATUS(EFIAPI *)(EFI_HANDLE Handle, CONST EFI_GUID *Protocol,
                         EFI_OPEN_PROTOCOL_INFORMATION_ENTRY **EntryBuffer, UINTN *EntryCount);
using EFI_PROTOCOLS_PER_HANDLE = EFI_STATUS(EFIAPI *)(EFI_HANDLE Handle, EFI_GUID ***ProtocolBuffer,
                                                      UINTN *ProtocolBufferCount);
using EFI_LOCATE_HANDLE_BUFFER = EFI_STATUS(EFIAPI *)(EFI_LOCATE_SEARCH_TYPE SearchType,
                                                      CONST EFI_GUID *Protocol, VOID *SearchKey,
                                                      UINTN *NoHandles, EFI_HANDLE **Buffer);
using EFI_LOCATE_PROTOCOL = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Protocol, VOID *Registration,
                                                 VOID **Interface);
// Variadic: (EFI_HANDLE *Handle, then GUID pointer / interface pairs, then NULL).
using EFI_INSTALL_MULTIPLE_PROTOCOL_INTERFACES = EFI_STATUS(EFIAPI *)(EFI_HANDLE *Handle, ...);
using EFI_UNINSTALL_MULTIPLE_PROTOCOL_INTERFACES = EFI_STATUS(EFIAPI *)(EFI_HANDLE Handle, ...);
using EFI_CALCULATE_CRC32 = EFI_STATUS(EFIAPI *)(VOID *Data, UINTN DataSize, UINT32 *Crc32);
using EFI_COPY_MEM = VOID(EFIAPI *)(VOID *Destination, CONST VOID *Source, UINTN Length);
using EFI_SET_MEM = VOID(EFIAPI *)(VOID *Buffer, UINTN Size, UINT8 Value);
using EFI_CREATE_EVENT_EX = EFI_STATUS(EFIAPI *)(UINT32 Type, EFI_TPL NotifyTpl,
                                                 EFI_EVENT_NOTIFY NotifyFunction,
                                                 CONST VOID *NotifyContext,
                                                 CONST EFI_GUID *EventGroup, EFI_EVENT *Event);

struct EFI_BOOT_SERVICES {
  EFI_TABLE_HEADER Hdr;
  EFI_RAISE_TPL RaiseTPL;
  EFI_RESTORE_TPL RestoreTPL;
  EFI_ALLOCATE_PAGES AllocatePages;
  EFI_FREE_PAGES FreePages;
  EFI_GET_MEMORY_MAP GetMemoryMap;
  EFI_ALLOCATE_POOL AllocatePool;
  EFI_FREE_POOL FreePool;
  EFI_CREATE_EVENT CreateEvent;
  EFI_SET_TIMER SetTimer;
  EFI_WAIT_FOR_EVENT WaitForEvent;
  EFI_SIGNAL_EVENT SignalEvent;
  EFI_CLOSE_EVENT CloseEvent;
  EFI_CHECK_EVENT CheckEvent;
  EFI_INSTALL_PROTOCOL_INTERFACE InstallProtocolInterface;
  EFI_REINSTALL_PROTOCOL_INTERFACE ReinstallProtocolInterface;
  EFI_UNINSTALL_PROTOCOL_INTERFACE UninstallProtocolInterface;
  EFI_HANDLE_PROTOCOL HandleProtocol;
  VOID *Reserved;
  EFI_REGISTER_PROTOCOL_NOTIFY RegisterProtocolNotify;
  EFI_LOCATE_HANDLE LocateHandle;
  EFI_LOCATE_DEVICE_PATH LocateDevicePath;
  EFI_INSTALL_CONFIGURATION_TABLE InstallConfigurationTable;
  EFI_IMAGE_LOAD LoadImage;
  EFI_IMAGE_START StartImage;
  EFI_EXIT Exit;
  EFI_IMAGE_UNLOAD UnloadImage;
  EFI_EXIT_BOOT_SERVICES ExitBootServices;
  EFI_GET_NEXT_MONOTONIC_COUNT GetNextMonotonicCount;
  EFI_STALL Stall;
  EFI_SET_WATCHDOG_TIMER SetWatchdogTimer;
  EFI_CONNECT_CONTROLLER ConnectController;
  EFI_DISCONNECT_CONTROLLER DisconnectController;
  EFI_OPEN_PROTOCOL OpenProtocol;
  EFI_CLOSE_PROTOCOL CloseProtocol;
  EFI_OPEN_PROTOCOL_INFORMATION OpenProtocolInformation;
  EFI_PROTOCOLS_PER_HANDLE ProtocolsPerHandle;
  EFI_LOCATE_HANDLE_BUFFER LocateHandleBuffer;
  EFI_LOCATE_PROTOCOL LocateProtocol;
  EFI_INSTALL_MULTIPLE_PROTOCOL_INTERFACES InstallMultipleProtocolInterfaces;
  EFI_UNINSTALL_MULTIPLE_PROTOCOL_INTERFACES UninstallMultipleProtocolInterfaces;
  EFI_CALCULATE_CRC32 CalculateCrc32;
  EFI_COPY_MEM CopyMem;
  EFI_SET_MEM SetMem;
  EFI_CREATE_EVENT_EX CreateEventEx;
};
static_assert(sizeof(EFI_BOOT_SERVICES) == 24 + 44 * sizeof(void *));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, AllocatePool) == ByPointerSize(0x40, 0x2C));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, FreePool) == ByPointerSize(0x48, 0x30));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, CreateEvent) == ByPointerSize(0x50, 0x34));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, SignalEvent) == ByPointerSize(0x68, 0x40));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, CloseEvent) == ByPointerSize(0x70, 0x44));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, InstallProtocolInterface) ==
              ByPointerSize(0x80, 0x4C));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, ReinstallProtocolInterface) ==
              ByPointerSize(0x88, 0x50));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, HandleProtocol) == ByPointerSize(0x98, 0x58));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, RegisterProtocolNotify) ==
              ByPointerSize(0xA8, 0x60));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, LocateHandle) == ByPointerSize(0xB0, 0x64));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, Stall) == ByPointerSize(0xF8, 0x88));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, LocateHandleBuffer) ==
              ByPointerSize(0x138, 0xA8));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, LocateProtocol) == ByPointerSize(0x140, 0xAC));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, CopyMem) == ByPointerSize(0x160, 0xBC));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, SetMem) == ByPointerSize(0x168, 0xC0));
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, CreateEventEx) == ByPointerSize(0x170, 0xC4));

// Runtime services (UEFI 2.10 section 4.5), in table order.
using EFI_GET_TIME = EFI_STATUS(EFIAPI *)(EFI_TIME *Time, EFI_TIME_CAPABILITIES *Capabilities);
using EFI_SET_TIME = EFI_STATUS(EFIAPI *)(EFI_TIME *Time);
using EFI_GET_WAKEUP_TIME = EFI_STATUS(EFIAPI *)(BOOLEAN *Enabled, BOOLEAN *Pending,
                                                 EFI_TIME *Time);
using EFI_SET_WAKEUP_TIME = EFI_STATUS(EFIAPI *)(BOOLEAN Enable, EFI_TIME *Time);
using EFI_SET_VIRTUAL_ADDRESS_MAP = EFI_STATUS(EFIAPI *)(UINTN MemoryMapSize, UINTN DescriptorSize,
                                                         UINT32 DescriptorVersion,
                                                         EFI_MEMORY_DESCRIPTOR *VirtualMap);
using EFI_CONVERT_POINTER = EFI_STATUS(EFIAPI *)(UINTN DebugDisposition, VOID **Address);
using EFI_GET_VARIABLE = EFI_STATUS(EFIAPI *)(CONST CHAR16 *VariableName,
                                              CONST EFI_GUID *VendorGuid, UINT32 *Attributes,
                                              UINTN *DataSize, VOID *Data);
using EFI_GET_NEXT_VARIABLE_NAME = EFI_STATUS(EFIAPI *)(UINTN *VariableNameSize,
                                                        CHAR16 *VariableName, EFI_GUID *VendorGuid);
using EFI_SET_VARIABLE = EFI_STATUS(EFIAPI *)(CONST CHAR16 *VariableName,
                                              CONST EFI_GUID *VendorGuid, UINT32 Attributes,
                                              UINTN DataSize, CONST VOID *Data);
using EFI_GET_NEXT_HIGH_MONO_COUNT = EFI_STATUS(EFIAPI *)(UINT32 *HighCount);
using EFI_RESET_SYSTEM = VOID(EFIAPI *)(EFI_RESET_TYPE ResetType, EFI_STATUS ResetStatus,
                                        UINTN DataSize, VOID *ResetData);
using EFI_UPDATE_CAPSULE = EFI_STATUS(EFIAPI *)(EFI_CAPSULE_HEADER **CapsuleHeaderArray,
                                                UINTN CapsuleCount,
                                                EFI_PHYSICAL_ADDRESS ScatterGatherList);
using EFI_QUERY_CAPSULE_CAPABILITIES = EFI_STATUS(EFIAPI *)(EFI_CAPSULE_HEADER **CapsuleHeaderArray,
                                                            UINTN CapsuleCount,
                                                            UINT64 *MaximumCapsuleSize,
                                                            EFI_RESET_TYPE *ResetType);
using EFI_QUERY_VARIABLE_INFO = EFI_STATUS(EFIAPI *)(UINT32 Attributes,
                                                     UINT64 *MaximumVariableStorageSize,
                                                     UINT64 *RemainingVariableStorageSize,
                                                     UINT64 *MaximumVariableSize);

struct EFI_RUNTIME_SERVICES {
  EFI_TABLE_HEADER Hdr;
  EFI_GET_TIME GetTime;
  EFI_SET_TIME SetTime;
  EFI_GET_WAKEUP_TIME GetWakeupTime;
  EFI_SET_WAKEUP_TIME SetWakeupTime;
  EFI_SET_VIRTUAL_ADDRESS_MAP SetVirtualAddressMap;
  EFI_CONVERT_POINTER ConvertPointer;
  EFI_GET_VARIABLE GetVariable;
  EFI_GET_NEXT_VARIABLE_NAME GetNextVariableName;
  EFI_SET_VARIABLE SetVariable;
  EFI_GET_NEXT_HIGH_MONO_COUNT GetNextHighMonotonicCount;
  EFI_RESET_SYSTEM ResetSystem;
  EFI_UPDATE_CAPSULE UpdateCapsule;
  EFI_QUERY_CAPSULE_CAPABILITIES QueryCapsuleCapabilities;
  EFI_QUERY_VARIABLE_INFO QueryVariableInfo;
};
static_assert(sizeof(EFI_RUNTIME_SERVICES) == 24 + 14 * sizeof(void *));
static_assert(__builtin_offsetof(EFI_RUNTIME_SERVICES, GetVariable) == ByPointerSize(0x48, 0x30));
static_assert(__builtin_offsetof(EFI_RUNTIME_SERVICES, SetVariable) == ByPointerSize(0x58, 0x38));

struct EFI_SYSTEM_TABLE {
  EFI_TABLE_HEADER Hdr;
  CHAR16 *FirmwareVendor;
  UINT32 FirmwareRevision;
  EFI_HANDLE ConsoleInHandle;
  EFI_SIMPLE_TEXT_INPUT_PROTOCOL *ConIn;
  EFI_HANDLE ConsoleOutHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *ConOut;
  EFI_HANDLE StandardErrorHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *StdErr;
  EFI_RUNTIME_SERVICES *RuntimeServices;
  EFI_BOOT_SERVICES *BootServices;
  UINTN NumberOfTableEntries;
  EFI_CONFIGURATION_TABLE *ConfigurationTable;
};
static_assert(sizeof(EFI_SYSTEM_TABLE) == ByPointerSize(120, 72));
static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, ConsoleInHandle) == ByPointerSize(40, 32));
static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, ConOut) == ByPointerSize(64, 44));
static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, RuntimeServices) == ByPointerSize(88, 56));
static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, BootServices) == ByPointerSize(96, 60));
static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, NumberOfTableEntries) == ByPointerSize(104, 64));
static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, ConfigurationTable) == ByPointerSize(112, 68));

// The image entry point of DXE and SMM drivers.
using EFI_IMAGE_ENTRY_POINT = EFI_STATUS(EFIAPI *)(EFI_HANDLE ImageHandle,
                                                   EFI_SYSTEM_TABLE *SystemTable);
