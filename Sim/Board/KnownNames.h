// Names a board file may use for modules, PPIs, protocols, services and statuses. The parser
// checks against these so that a typing error is reported instead of silently never matching.
#pragma once

#include <string_view>

namespace boardsim {

inline constexpr std::string_view kDispatchableModules[] = {"BoardInfoPei", "BoardInfoDxe",
                                                            "S3SaveSmm"};

// PPIs the simulator models (for `pei_install`).
inline constexpr std::string_view kModelledPpis[] = {"PCD_PPI",
                                                     "EFI_PEI_READ_ONLY_VARIABLE2_PPI",
                                                     "EFI_PEI_STALL_PPI",
                                                     "BMC_TRANSPORT_PPI",
                                                     "EFI_PEI_SMBUS2_PPI",
                                                     "BOARD_TABLE_SOURCE_PPI",
                                                     "BOARD_TABLE_APPLY_PPI"};

// Boot-services protocols the simulator models (for `dxe_install`).
inline constexpr std::string_view kModelledDxeProtocols[] = {"PCD_PROTOCOL",
                                                             "SETUP_ITEM_PROTOCOL",
                                                             "EFI_SMM_BASE2_PROTOCOL",
                                                             "EFI_SMM_ACCESS2_PROTOCOL",
                                                             "EFI_SMM_COMMUNICATION_PROTOCOL",
                                                             "PLATFORM_SIGNAL_PROTOCOL",
                                                             "EFI_DXE_SMM_READY_TO_LOCK_PROTOCOL"};

// SMM protocols the simulator provides in the SMM protocol database.
inline constexpr std::string_view kModelledSmmProtocols[] = {
    "EFI_SMM_SX_DISPATCH2_PROTOCOL", "EFI_SMM_POWER_BUTTON_DISPATCH2_PROTOCOL",
    "EFI_SMM_STATUS_CODE_PROTOCOL"};

// EFI_PEI_SERVICES members (PI specification, volume 1).
inline constexpr std::string_view kPeiServices[] = {"InstallPpi",
                                                    "ReInstallPpi",
                                                    "LocatePpi",
                                                    "NotifyPpi",
                                                    "GetBootMode",
                                                    "SetBootMode",
                                                    "GetHobList",
                                                    "CreateHob",
                                                    "FfsFindNextVolume",
                                                    "FfsFindNextFile",
                                                    "FfsFindSectionData",
                                                    "InstallPeiMemory",
                                                    "AllocatePages",
                                                    "AllocatePool",
                                                    "CopyMem",
                                                    "SetMem",
                                                    "ReportStatusCode",
                                                    "ResetSystem",
                                                    "FfsFindFileByName",
                                                    "FfsGetFileInfo",
                                                    "FfsGetVolumeInfo",
                                                    "RegisterForShadow",
                                                    "FindSectionData3",
                                                    "FfsGetFileInfo2",
                                                    "ResetSystem2",
                                                    "FreePages"};

// EFI_BOOT_SERVICES members (UEFI specification).
inline constexpr std::string_view kBootServices[] = {"RaiseTPL",
                                                     "RestoreTPL",
                                                     "AllocatePages",
                                                     "FreePages",
                                                     "GetMemoryMap",
                                                     "AllocatePool",
                                                     "FreePool",
                                                     "CreateEvent",
                                                     "SetTimer",
                                                     "WaitForEvent",
                                                     "SignalEvent",
                                                     "CloseEvent",
                                                     "CheckEvent",
                                                     "InstallProtocolInterface",
                                                     "ReinstallProtocolInterface",
                                                     "UninstallProtocolInterface",
                                                     "HandleProtocol",
                                                     "RegisterProtocolNotify",
                                                     "LocateHandle",
                                                     "LocateDevicePath",
                                                     "InstallConfigurationTable",
                                                     "LoadImage",
                                                     "StartImage",
                                                     "Exit",
                                                     "UnloadImage",
                                                     "ExitBootServices",
                                                     "GetNextMonotonicCount",
                                                     "Stall",
                                                     "SetWatchdogTimer",
                                                     "ConnectController",
                                                     "DisconnectController",
                                                     "OpenProtocol",
                                                     "CloseProtocol",
                                                     "OpenProtocolInformation",
                                                     "ProtocolsPerHandle",
                                                     "LocateHandleBuffer",
                                                     "LocateProtocol",
                                                     "InstallMultipleProtocolInterfaces",
                                                     "UninstallMultipleProtocolInterfaces",
                                                     "CalculateCrc32",
                                                     "CopyMem",
                                                     "SetMem",
                                                     "CreateEventEx"};

// EFI_RUNTIME_SERVICES members (UEFI specification).
inline constexpr std::string_view kRuntimeServices[] = {"GetTime",
                                                        "SetTime",
                                                        "GetWakeupTime",
                                                        "SetWakeupTime",
                                                        "SetVirtualAddressMap",
                                                        "ConvertPointer",
                                                        "GetVariable",
                                                        "GetNextVariableName",
                                                        "SetVariable",
                                                        "GetNextHighMonotonicCount",
                                                        "ResetSystem",
                                                        "UpdateCapsule",
                                                        "QueryCapsuleCapabilities",
                                                        "QueryVariableInfo"};

// EFI_SMM_SYSTEM_TABLE2 services (PI specification, volume 4).
inline constexpr std::string_view kSmmServices[] = {"SmmInstallConfigurationTable",
                                                    "SmmAllocatePool",
                                                    "SmmFreePool",
                                                    "SmmAllocatePages",
                                                    "SmmFreePages",
                                                    "SmmStartupThisAp",
                                                    "SmmInstallProtocolInterface",
                                                    "SmmUninstallProtocolInterface",
                                                    "SmmHandleProtocol",
                                                    "SmmRegisterProtocolNotify",
                                                    "SmmLocateHandle",
                                                    "SmmLocateProtocol",
                                                    "SmiManage",
                                                    "SmiHandlerRegister",
                                                    "SmiHandlerUnRegister"};

// EFI_STATUS names of the UEFI specification (appendix D) a fault may return: every error and
// warning the simulator names in its trace.
inline constexpr std::string_view kFaultStatuses[] = {"EFI_LOAD_ERROR",
                                                      "EFI_INVALID_PARAMETER",
                                                      "EFI_UNSUPPORTED",
                                                      "EFI_BAD_BUFFER_SIZE",
                                                      "EFI_BUFFER_TOO_SMALL",
                                                      "EFI_NOT_READY",
                                                      "EFI_DEVICE_ERROR",
                                                      "EFI_WRITE_PROTECTED",
                                                      "EFI_OUT_OF_RESOURCES",
                                                      "EFI_VOLUME_CORRUPTED",
                                                      "EFI_VOLUME_FULL",
                                                      "EFI_NO_MEDIA",
                                                      "EFI_MEDIA_CHANGED",
                                                      "EFI_NOT_FOUND",
                                                      "EFI_ACCESS_DENIED",
                                                      "EFI_NO_RESPONSE",
                                                      "EFI_NO_MAPPING",
                                                      "EFI_TIMEOUT",
                                                      "EFI_NOT_STARTED",
                                                      "EFI_ALREADY_STARTED",
                                                      "EFI_ABORTED",
                                                      "EFI_ICMP_ERROR",
                                                      "EFI_TFTP_ERROR",
                                                      "EFI_PROTOCOL_ERROR",
                                                      "EFI_INCOMPATIBLE_VERSION",
                                                      "EFI_SECURITY_VIOLATION",
                                                      "EFI_CRC_ERROR",
                                                      "EFI_END_OF_MEDIA",
                                                      "EFI_END_OF_FILE",
                                                      "EFI_INVALID_LANGUAGE",
                                                      "EFI_COMPROMISED_DATA",
                                                      "EFI_WARN_UNKNOWN_GLYPH",
                                                      "EFI_WARN_DELETE_FAILURE",
                                                      "EFI_WARN_WRITE_FAILURE",
                                                      "EFI_WARN_BUFFER_TOO_SMALL",
                                                      "EFI_WARN_STALE_DATA"};

} // namespace boardsim
