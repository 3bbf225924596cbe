// Port and memory accessors of the debug channels: exactly one access of the selected width.
// An unknown width code stops with an error code of the accessor and performs no access.
#pragma once
#include <Base.h>

// Codes 1..3 select 8, 16 and 32 bits; the same codes with bit 7 set behave identically.
enum ACCESS_WIDTH : UINT32 {
  AccessWidth8 = 1,
  AccessWidth16 = 2,
  AccessWidth32 = 3,
};
inline constexpr UINT32 ACCESS_WIDTH_ALTERNATE_BIT = 0x80;

inline constexpr UINT32 READ_IO_PORT_WIDTH_ERROR = 0x00010133;
inline constexpr UINT32 WRITE_IO_PORT_WIDTH_ERROR = 0x00010170;
inline constexpr UINT32 READ_MMIO_WIDTH_ERROR = 0x00010314;
inline constexpr UINT32 WRITE_MMIO_WIDTH_ERROR = 0x00010355;

VOID ReadIoPort(ACCESS_WIDTH Width, UINT16 Port, VOID *Value);
VOID WriteIoPort(ACCESS_WIDTH Width, UINT16 Port, CONST VOID *Value);
VOID ReadMmio(ACCESS_WIDTH Width, UINT64 Address, VOID *Value);
VOID WriteMmio(ACCESS_WIDTH Width, UINT64 Address, CONST VOID *Value);
