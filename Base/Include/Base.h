// Base types of the UEFI and PI specifications (UEFI 2.10 section 2.3.1), for freestanding
// module code and for the host build that the simulator loads. Only compiler-provided
// facilities are used: no libc, no STL.
#pragma once

#if defined(__x86_64__)
#define EFIAPI __attribute__((ms_abi))
#elif defined(__i386__)
#define EFIAPI __attribute__((cdecl))
#else
#error "unsupported architecture"
#endif

// Symbols the firmware or the simulator looks up by name.
#if defined(BOARDFW_HOST)
#define MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define MODULE_EXPORT extern "C"
#endif

using UINT8 = unsigned char;
using INT8 = signed char;
using UINT16 = unsigned short;
using INT16 = short;
using UINT32 = unsigned int;
using INT32 = int;
using UINT64 = unsigned long long;
using INT64 = long long;
using UINTN = __UINTPTR_TYPE__;
using INTN = __INTPTR_TYPE__;
using BOOLEAN = unsigned char;
using CHAR8 = char;
using CHAR16 = char16_t;
using VOID = void;

static_assert(sizeof(UINTN) == sizeof(void *), "UINTN is pointer-sized");
static_assert(sizeof(UINT64) == 8 && sizeof(UINT32) == 4 && sizeof(UINT16) == 2, "fixed widths");

inline constexpr BOOLEAN TRUE = 1;
inline constexpr BOOLEAN FALSE = 0;

#define IN
#define OUT
#define OPTIONAL
#define CONST const

using EFI_STATUS = UINTN;
using EFI_HANDLE = void *;
using EFI_EVENT = void *;
using EFI_TPL = UINTN;
using EFI_LBA = UINT64;
using EFI_PHYSICAL_ADDRESS = UINT64;
using EFI_VIRTUAL_ADDRESS = UINT64;
using RETURN_STATUS = UINTN;

struct EFI_GUID {
  UINT32 Data1;
  UINT16 Data2;
  UINT16 Data3;
  UINT8 Data4[8];
};
static_assert(sizeof(EFI_GUID) == 16, "EFI_GUID is 16 bytes");

struct EFI_TIME {
  UINT16 Year;
  UINT8 Month;
  UINT8 Day;
  UINT8 Hour;
  UINT8 Minute;
  UINT8 Second;
  UINT8 Pad1;
  UINT32 Nanosecond;
  INT16 TimeZone;
  UINT8 Daylight;
  UINT8 Pad2;
};
static_assert(sizeof(EFI_TIME) == 16, "EFI_TIME is 16 bytes");

// Status codes (UEFI 2.10 appendix D): errors have the top bit set, warnings do not.
inline constexpr UINTN MAX_BIT = UINTN(1) << (sizeof(UINTN) * 8 - 1);
constexpr EFI_STATUS EncodeError(UINTN Code) {
  return MAX_BIT | Code;
}
constexpr bool EFI_ERROR(EFI_STATUS Status) {
  return (Status & MAX_BIT) != 0;
}

inline constexpr EFI_STATUS EFI_SUCCESS = 0;
inline constexpr EFI_STATUS EFI_LOAD_ERROR = EncodeError(1);
inline constexpr EFI_STATUS EFI_INVALID_PARAMETER = EncodeError(2);
inline constexpr EFI_STATUS EFI_UNSUPPORTED = EncodeError(3);
inline constexpr EFI_STATUS EFI_BAD_BUFFER_SIZE = EncodeError(4);
inline constexpr EFI_STATUS EFI_BUFFER_TOO_SMALL = EncodeError(5);
inline constexpr EFI_STATUS EFI_NOT_READY = EncodeError(6);
inline constexpr EFI_STATUS EFI_DEVICE_ERROR = EncodeError(7);
inline constexpr EFI_STATUS EFI_WRITE_PROTECTED = EncodeError(8);
inline constexpr EFI_STATUS EFI_OUT_OF_RESOURCES = EncodeError(9);
inline constexpr EFI_STATUS EFI_VOLUME_CORRUPTED = EncodeError(10);
inline constexpr EFI_STATUS EFI_VOLUME_FULL = EncodeError(11);
inline constexpr EFI_STATUS EFI_NO_MEDIA = EncodeError(12);
inline constexpr EFI_STATUS EFI_MEDIA_CHANGED = EncodeError(13);
inline constexpr EFI_STATUS EFI_NOT_FOUND = EncodeError(14);
inline constexpr EFI_STATUS EFI_ACCESS_DENIED = EncodeError(15);
inline constexpr EFI_STATUS EFI_NO_RESPONSE = EncodeError(16);
inline constexpr EFI_STATUS EFI_NO_MAPPING = EncodeError(17);
inline constexpr EFI_STATUS EFI_TIMEOUT = EncodeError(18);
inline constexpr EFI_STATUS EFI_NOT_STARTED = EncodeError(19);
inline constexpr EFI_STATUS EFI_ALREADY_STARTED = EncodeError(20);
inline constexpr EFI_STATUS EFI_ABORTED = EncodeError(21);
inline constexpr EFI_STATUS EFI_ICMP_ERROR = EncodeError(22);
inline constexpr EFI_STATUS EFI_TFTP_ERROR = EncodeError(23);
inline constexpr EFI_STATUS EFI_PROTOCOL_ERROR = EncodeError(24);
inline constexpr EFI_STATUS EFI_INCOMPATIBLE_VERSION = EncodeError(25);
inline constexpr EFI_STATUS EFI_SECURITY_VIOLATION = EncodeError(26);
inline constexpr EFI_STATUS EFI_CRC_ERROR = EncodeError(27);
inline constexpr EFI_STATUS EFI_END_OF_MEDIA = EncodeError(28);
inline constexpr EFI_STATUS EFI_END_OF_FILE = EncodeError(31);
inline constexpr EFI_STATUS EFI_INVALID_LANGUAGE = EncodeError(32);
inline constexpr EFI_STATUS EFI_COMPROMISED_DATA = EncodeError(33);

inline constexpr EFI_STATUS EFI_WARN_UNKNOWN_GLYPH = 1;
inline constexpr EFI_STATUS EFI_WARN_DELETE_FAILURE = 2;
inline constexpr EFI_STATUS EFI_WARN_WRITE_FAILURE = 3;
inline constexpr EFI_STATUS EFI_WARN_BUFFER_TOO_SMALL = 4;
inline constexpr EFI_STATUS EFI_WARN_STALE_DATA = 5;

// Variable argument lists: the compiler's own, which follow each target's calling convention.
using VA_LIST = __builtin_va_list;
#define VA_START(Marker, Parameter) __builtin_va_start(Marker, Parameter)
#define VA_ARG(Marker, TYPE) __builtin_va_arg(Marker, TYPE)
#define VA_END(Marker) __builtin_va_end(Marker)
#define VA_COPY(Dest, Start) __builtin_va_copy(Dest, Start)
