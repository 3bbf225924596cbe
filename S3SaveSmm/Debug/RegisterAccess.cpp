#include "RegisterAccess.h"
#include <Library/IoLib.h>
#include "ErrorStop.h"

namespace {

// The width without its alternate-code bit; anything but 1..3 is left unknown.
constexpr UINT32 BaseWidth(ACCESS_WIDTH Width) {
  return Width & ~ACCESS_WIDTH_ALTERNATE_BIT;
}

} // namespace

VOID ReadIoPort(ACCESS_WIDTH Width, UINT16 Port, VOID *Value) {
  switch (BaseWidth(Width)) {
  case AccessWidth8:
    *static_cast<UINT8 *>(Value) = IoRead8(Port);
    break;
  case AccessWidth16:
    *static_cast<UINT16 *>(Value) = IoRead16(Port);
    break;
  case AccessWidth32:
    *static_cast<UINT32 *>(Value) = IoRead32(Port);
    break;
  default:
    ErrorStop(READ_IO_PORT_WIDTH_ERROR);
    break;
  }
}

VOID WriteIoPort(ACCESS_WIDTH Width, UINT16 Port, CONST VOID *Value) {
  switch (BaseWidth(Width)) {
  case AccessWidth8:
    IoWrite8(Port, *static_cast<CONST UINT8 *>(Value));
    break;
  case AccessWidth16:
    IoWrite16(Port, *static_cast<CONST UINT16 *>(Value));
    break;
  case AccessWidth32:
    IoWrite32(Port, *static_cast<CONST UINT32 *>(Value));
    break;
  default:
    ErrorStop(WRITE_IO_PORT_WIDTH_ERROR);
    break;
  }
}

VOID ReadMmio(ACCESS_WIDTH Width, UINT64 Address, VOID *Value) {
  switch (BaseWidth(Width)) {
  case AccessWidth8:
    *static_cast<UINT8 *>(Value) = MmioRead8(Address);
    break;
  case AccessWidth16:
    *static_cast<UINT16 *>(Value) = MmioRead16(Address);
    break;
  case AccessWidth32:
    *static_cast<UINT32 *>(Value) = MmioRead32(Address);
    break;
  default:
    ErrorStop(READ_MMIO_WIDTH_ERROR);
    break;
  }
}

VOID WriteMmio(ACCESS_WIDTH Width, UINT64 Address, CONST VOID *Value) {
  switch (BaseWidth(Width)) {
  case AccessWidth8:
    MmioWrite8(Address, *static_cast<CONST UINT8 *>(Value));
    break;
  case AccessWidth16:
    MmioWrite16(Address, *static_cast<CONST UINT16 *>(Value));
    break;
  case AccessWidth32:
    MmioWrite32(Address, *static_cast<CONST UINT32 *>(Value));
    break;
  default:
    ErrorStop(WRITE_MMIO_WIDTH_ERROR);
    break;
  }
}
