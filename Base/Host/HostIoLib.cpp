// Port and memory-mapped I/O of a host image: each access is one bridge call, with the width
// in bits. Ports are 16 bits wide on x86.
#include <Library/IoLib.h>
#include "HostBackend.h"

namespace {

UINT64 IoRead(UINTN Port, UINT32 WidthBits) {
  return gHostBackend.Bridge->IoRead(gHostBackend.Context, UINT16(Port), WidthBits);
}

void IoWrite(UINTN Port, UINT32 WidthBits, UINT64 Value) {
  gHostBackend.Bridge->IoWrite(gHostBackend.Context, UINT16(Port), WidthBits, Value);
}

UINT64 MmioRead(UINTN Address, UINT32 WidthBits) {
  return gHostBackend.Bridge->MmioRead(gHostBackend.Context, Address, WidthBits);
}

void MmioWrite(UINTN Address, UINT32 WidthBits, UINT64 Value) {
  gHostBackend.Bridge->MmioWrite(gHostBackend.Context, Address, WidthBits, Value);
}

} // namespace

UINT8 IoRead8(UINTN Port) {
  return UINT8(IoRead(Port, 8));
}
UINT16 IoRead16(UINTN Port) {
  return UINT16(IoRead(Port, 16));
}
UINT32 IoRead32(UINTN Port) {
  return UINT32(IoRead(Port, 32));
}

UINT8 IoWrite8(UINTN Port, UINT8 Value) {
  IoWrite(Port, 8, Value);
  return Value;
}
UINT16 IoWrite16(UINTN Port, UINT16 Value) {
  IoWrite(Port, 16, Value);
  return Value;
}
UINT32 IoWrite32(UINTN Port, UINT32 Value) {
  IoWrite(Port, 32, Value);
  return Value;
}

UINT8 MmioRead8(UINTN Address) {
  return UINT8(MmioRead(Address, 8));
}
UINT16 MmioRead16(UINTN Address) {
  return UINT16(MmioRead(Address, 16));
}
UINT32 MmioRead32(UINTN Address) {
  return UINT32(MmioRead(Address, 32));
}
UINT64 MmioRead64(UINTN Address) {
  return MmioRead(Address, 64);
}

UINT8 MmioWrite8(UINTN Address, UINT8 Value) {
  MmioWrite(Address, 8, Value);
  return Value;
}
UINT16 MmioWrite16(UINTN Address, UINT16 Value) {
  MmioWrite(Address, 16, Value);
  return Value;
}
UINT32 MmioWrite32(UINTN Address, UINT32 Value) {
  MmioWrite(Address, 32, Value);
  return Value;
}
UINT64 MmioWrite64(UINTN Address, UINT64 Value) {
  MmioWrite(Address, 64, Value);
  return Value;
}
