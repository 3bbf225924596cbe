// SMM services and protocols (PI 1.8 volume 4): the SMM system table, SMM base and access,
// the Sx and power-button SMI dispatchers, status codes and SMM communication.
// EFI_SMM_SYSTEM_TABLE2 keeps the member order PI 1.8 gives it.
#pragma once
#include <Uefi.h>
#include <Pi/PiStatusCode.h>

struct EFI_SMM_SYSTEM_TABLE2;

// CPU I/O inside SMM (PI 1.8 volume 4, section 3.3), embedded in the system table.
enum EFI_SMM_IO_WIDTH : UINT32 { SMM_IO_UINT8, SMM_IO_UINT16, SMM_IO_UINT32, SMM_IO_UINT64 };

struct EFI_SMM_CPU_IO2_PROTOCOL;
using EFI_SMM_CPU_IO2 = EFI_STATUS(EFIAPI *)(CONST EFI_SMM_CPU_IO2_PROTOCOL *This,
                                             EFI_SMM_IO_WIDTH Width, UINT64 Address, UINTN Count,
                                             VOID *Buffer);
struct EFI_SMM_IO_ACCESS2 {
  EFI_SMM_CPU_IO2 Read;
  EFI_SMM_CPU_IO2 Write;
};
struct EFI_SMM_CPU_IO2_PROTOCOL {
  EFI_SMM_IO_ACCESS2 Mem;
  EFI_SMM_IO_ACCESS2 Io;
};
static_assert(sizeof(EFI_SMM_CPU_IO2_PROTOCOL) == 4 * sizeof(void *));

// SMI handler signature shared by the root handler registry and the child dispatchers.
using EFI_SMM_HANDLER_ENTRY_POINT2 = EFI_STATUS(EFIAPI *)(EFI_HANDLE DispatchHandle,
                                                          CONST VOID *Context, VOID *CommBuffer,
                                                          UINTN *CommBufferSize);

using EFI_SMM_INSTALL_CONFIGURATION_TABLE2 = EFI_STATUS(EFIAPI *)(
    CONST EFI_SMM_SYSTEM_TABLE2 *SystemTable, CONST EFI_GUID *Guid, VOID *Table, UINTN TableSize);
using EFI_AP_PROCEDURE = VOID(EFIAPI *)(VOID *Buffer);
using EFI_SMM_STARTUP_THIS_AP = EFI_STATUS(EFIAPI *)(EFI_AP_PROCEDURE Procedure, UINTN CpuNumber,
                                                     VOID *ProcArguments);
using EFI_SMM_NOTIFY_FN = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Protocol, VOID *Interface,
                                               EFI_HANDLE Handle);
using EFI_SMM_REGISTER_PROTOCOL_NOTIFY = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *Protocol,
                                                              EFI_SMM_NOTIFY_FN Function,
                                                              VOID **Registration);
using EFI_SMM_INTERRUPT_MANAGE = EFI_STATUS(EFIAPI *)(CONST EFI_GUID *HandlerType,
                                                      CONST VOID *Context, VOID *CommBuffer,
                                                      UINTN *CommBufferSize);
using EFI_SMM_INTERRUPT_REGISTER = EFI_STATUS(EFIAPI *)(EFI_SMM_HANDLER_ENTRY_POINT2 Handler,
                                                        CONST EFI_GUID *HandlerType,
                                                        EFI_HANDLE *DispatchHandle);
using EFI_SMM_INTERRUPT_UNREGISTER = EFI_STATUS(EFIAPI *)(EFI_HANDLE DispatchHandle);

inline constexpr UINT64 SMM_SMST_SIGNATURE = 0x54534D53; // "SMST"

struct EFI_SMM_SYSTEM_TABLE2 {
  EFI_TABLE_HEADER Hdr;
  CHAR16 *SmmFirmwareVendor;
  UINT32 SmmFirmwareRevision;
  EFI_SMM_INSTALL_CONFIGURATION_TABLE2 SmmInstallConfigurationTable;
  EFI_SMM_CPU_IO2_PROTOCOL SmmIo;
  EFI_ALLOCATE_POOL SmmAllocatePool;
  EFI_FREE_POOL SmmFreePool;
  EFI_ALLOCATE_PAGES SmmAllocatePages;
  EFI_FREE_PAGES SmmFreePages;
  EFI_SMM_STARTUP_THIS_AP SmmStartupThisAp;
  UINTN CurrentlyExecutingCpu;
  UINTN NumberOfCpus;
  UINTN *CpuSaveStateSize;
  VOID **CpuSaveState;
  UINTN NumberOfTableEntries;
  EFI_CONFIGURATION_TABLE *SmmConfigurationTable;
  EFI_INSTALL_PROTOCOL_INTERFACE SmmInstallProtocolInterface;
  EFI_UNINSTALL_PROTOCOL_INTERFACE SmmUninstallProtocolInterface;
  EFI_HANDLE_PROTOCOL SmmHandleProtocol;
  EFI_SMM_REGISTER_PROTOCOL_NOTIFY SmmRegisterProtocolNotify;
  EFI_LOCATE_HANDLE SmmLocateHandle;
  EFI_LOCATE_PROTOCOL SmmLocateProtocol;
  EFI_SMM_INTERRUPT_MANAGE SmiManage;
  EFI_SMM_INTERRUPT_REGISTER SmiHandlerRegister;
  EFI_SMM_INTERRUPT_UNREGISTER SmiHandlerUnRegister;
};
static_assert(sizeof(EFI_SMM_SYSTEM_TABLE2) == ByPointerSize(240, 136));
static_assert(__builtin_offsetof(EFI_SMM_SYSTEM_TABLE2, SmmInstallConfigurationTable) ==
              ByPointerSize(40, 32));
static_assert(__builtin_offsetof(EFI_SMM_SYSTEM_TABLE2, SmmIo) == ByPointerSize(48, 36));
static_assert(__builtin_offsetof(EFI_SMM_SYSTEM_TABLE2, SmmAllocatePool) ==
              ByPointerSize(0x50, 0x34));
static_assert(__builtin_offsetof(EFI_SMM_SYSTEM_TABLE2, SmmFreePool) == ByPointerSize(0x58, 0x38));
static_assert(__builtin_offsetof(EFI_SMM_SYSTEM_TABLE2, NumberOfTableEntries) ==
              ByPointerSize(0x98, 0x58));
static_assert(__builtin_offsetof(EFI_SMM_SYSTEM_TABLE2, SmmConfigurationTable) ==
              ByPointerSize(0xA0, 0x5C));
static_assert(__builtin_offsetof(EFI_SMM_SYSTEM_TABLE2, SmmInstallProtocolInterface) ==
              ByPointerSize(0xA8, 0x60));
static_assert(__builtin_offsetof(EFI_SMM_SYSTEM_TABLE2, SmmLocateProtocol) ==
              ByPointerSize(0xD0, 0x74));
static_assert(__builtin_offsetof(EFI_SMM_SYSTEM_TABLE2, SmiHandlerRegister) ==
              ByPointerSize(0xE0, 0x7C));

// SMM base (PI 1.8 volume 4, section 1.4).
struct EFI_SMM_BASE2_PROTOCOL;
using EFI_SMM_INSIDE_OUT2 = EFI_STATUS(EFIAPI *)(CONST EFI_SMM_BASE2_PROTOCOL *This,
                                                 BOOLEAN *InSmram);
using EFI_SMM_GET_SMST_LOCATION2 = EFI_STATUS(EFIAPI *)(CONST EFI_SMM_BASE2_PROTOCOL *This,
                                                        EFI_SMM_SYSTEM_TABLE2 **Smst);
struct EFI_SMM_BASE2_PROTOCOL {
  EFI_SMM_INSIDE_OUT2 InSmm;
  EFI_SMM_GET_SMST_LOCATION2 GetSmstLocation;
};
static_assert(sizeof(EFI_SMM_BASE2_PROTOCOL) == 2 * sizeof(void *));

// SMRAM access (PI 1.8 volume 4, section 5.3).
inline constexpr UINT64 EFI_SMRAM_OPEN = 0x00000001;
inline constexpr UINT64 EFI_SMRAM_CLOSED = 0x00000002;
inline constexpr UINT64 EFI_SMRAM_LOCKED = 0x00000004;
inline constexpr UINT64 EFI_CACHEABLE = 0x00000008;
inline constexpr UINT64 EFI_ALLOCATED = 0x00000010;
inline constexpr UINT64 EFI_NEEDS_TESTING = 0x00000020;
inline constexpr UINT64 EFI_NEEDS_ECC_INITIALIZATION = 0x00000040;

struct EFI_SMRAM_DESCRIPTOR {
  EFI_PHYSICAL_ADDRESS PhysicalStart;
  EFI_PHYSICAL_ADDRESS CpuStart;
  UINT64 PhysicalSize;
  UINT64 RegionState;
};
static_assert(sizeof(EFI_SMRAM_DESCRIPTOR) == 32);
static_assert(__builtin_offsetof(EFI_SMRAM_DESCRIPTOR, CpuStart) == 8 &&
              __builtin_offsetof(EFI_SMRAM_DESCRIPTOR, PhysicalSize) == 16 &&
              __builtin_offsetof(EFI_SMRAM_DESCRIPTOR, RegionState) == 24);

struct EFI_SMM_ACCESS2_PROTOCOL;
using EFI_SMM_OPEN2 = EFI_STATUS(EFIAPI *)(EFI_SMM_ACCESS2_PROTOCOL *This);
using EFI_SMM_CLOSE2 = EFI_STATUS(EFIAPI *)(EFI_SMM_ACCESS2_PROTOCOL *This);
using EFI_SMM_LOCK2 = EFI_STATUS(EFIAPI *)(EFI_SMM_ACCESS2_PROTOCOL *This);
using EFI_SMM_CAPABILITIES2 = EFI_STATUS(EFIAPI *)(CONST EFI_SMM_ACCESS2_PROTOCOL *This,
                                                   UINTN *SmramMapSize,
                                                   EFI_SMRAM_DESCRIPTOR *SmramMap);
struct EFI_SMM_ACCESS2_PROTOCOL {
  EFI_SMM_OPEN2 Open;
  EFI_SMM_CLOSE2 Close;
  EFI_SMM_LOCK2 Lock;
  EFI_SMM_CAPABILITIES2 GetCapabilities;
  BOOLEAN LockState;
  BOOLEAN OpenState;
};
static_assert(__builtin_offsetof(EFI_SMM_ACCESS2_PROTOCOL, GetCapabilities) == 3 * sizeof(void *));
static_assert(__builtin_offsetof(EFI_SMM_ACCESS2_PROTOCOL, LockState) == 4 * sizeof(void *));

// Sx (sleep state) SMI dispatch (PI 1.8 volume 4, section 6.4).
enum EFI_SLEEP_TYPE : UINT32 { SxS0, SxS1, SxS2, SxS3, SxS4, SxS5, EfiMaximumSleepType };
enum EFI_SLEEP_PHASE : UINT32 { SxEntry, SxExit, EfiMaximumPhase };
static_assert(SxS5 == 5 && SxEntry == 0);

struct EFI_SMM_SX_REGISTER_CONTEXT {
  EFI_SLEEP_TYPE Type;
  EFI_SLEEP_PHASE Phase;
};
static_assert(sizeof(EFI_SMM_SX_REGISTER_CONTEXT) == 8);

struct EFI_SMM_SX_DISPATCH2_PROTOCOL;
using EFI_SMM_SX_REGISTER2 = EFI_STATUS(EFIAPI *)(
    CONST EFI_SMM_SX_DISPATCH2_PROTOCOL *This, EFI_SMM_HANDLER_ENTRY_POINT2 DispatchFunction,
    CONST EFI_SMM_SX_REGISTER_CONTEXT *RegisterContext, EFI_HANDLE *DispatchHandle);
using EFI_SMM_SX_UNREGISTER2 = EFI_STATUS(EFIAPI *)(CONST EFI_SMM_SX_DISPATCH2_PROTOCOL *This,
                                                    EFI_HANDLE DispatchHandle);
struct EFI_SMM_SX_DISPATCH2_PROTOCOL {
  EFI_SMM_SX_REGISTER2 Register;
  EFI_SMM_SX_UNREGISTER2 UnRegister;
};
static_assert(sizeof(EFI_SMM_SX_DISPATCH2_PROTOCOL) == 2 * sizeof(void *));

// Power-button SMI dispatch (PI 1.8 volume 4, section 6.7).
enum EFI_POWER_BUTTON_PHASE : UINT32 { EfiPowerButtonEntry, EfiPowerButtonExit, EfiPowerButtonMax };

struct EFI_SMM_POWER_BUTTON_REGISTER_CONTEXT {
  EFI_POWER_BUTTON_PHASE Phase;
};
static_assert(sizeof(EFI_SMM_POWER_BUTTON_REGISTER_CONTEXT) == 4);

struct EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL;
using EFI_SMM_POWER_BUTTON_REGISTER2 = EFI_STATUS(EFIAPI *)(
    CONST EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL *This,
    EFI_SMM_HANDLER_ENTRY_POINT2 DispatchFunction,
    CONST EFI_SMM_POWER_BUTTON_REGISTER_CONTEXT *RegisterContext, EFI_HANDLE *DispatchHandle);
using EFI_SMM_POWER_BUTTON_UNREGISTER2 = EFI_STATUS(EFIAPI *)(
    CONST EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL *This, EFI_HANDLE DispatchHandle);
struct EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL {
  EFI_SMM_POWER_BUTTON_REGISTER2 Register;
  EFI_SMM_POWER_BUTTON_UNREGISTER2 UnRegister;
};
static_assert(sizeof(EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL) == 2 * sizeof(void *));

// Status codes from SMM (PI 1.8 volume 4, section 7.2).
struct EFI_SMM_STATUS_CODE_PROTOCOL;
using EFI_SMM_REPORT_STATUS_CODE = EFI_STATUS(EFIAPI *)(CONST EFI_SMM_STATUS_CODE_PROTOCOL *This,
                                                        EFI_STATUS_CODE_TYPE CodeType,
                                                        EFI_STATUS_CODE_VALUE Value,
                                                        UINT32 Instance, CONST EFI_GUID *CallerId,
                                                        EFI_STATUS_CODE_DATA *Data);
struct EFI_SMM_STATUS_CODE_PROTOCOL {
  EFI_SMM_REPORT_STATUS_CODE ReportStatusCode;
};

// Communication from boot services into SMM (PI 1.8 volume 4, section 5.7).
struct EFI_SMM_COMMUNICATION_PROTOCOL;
using EFI_SMM_COMMUNICATE2 = EFI_STATUS(EFIAPI *)(CONST EFI_SMM_COMMUNICATION_PROTOCOL *This,
                                                  VOID *CommBuffer, UINTN *CommSize);
struct EFI_SMM_COMMUNICATION_PROTOCOL {
  EFI_SMM_COMMUNICATE2 Communicate;
};

// The message header; MessageLength bytes of Data follow it.
struct EFI_SMM_COMMUNICATE_HEADER {
  EFI_GUID HeaderGuid;
  UINTN MessageLength;
  UINT8 Data[1];
};
static_assert(__builtin_offsetof(EFI_SMM_COMMUNICATE_HEADER, MessageLength) == 16);
static_assert(__builtin_offsetof(EFI_SMM_COMMUNICATE_HEADER, Data) == ByPointerSize(24, 20));
