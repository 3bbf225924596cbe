// Port I/O instructions and memory-mapped accesses of a firmware image. Every memory access is
// one volatile load or store of the named width, so the compiler neither merges nor drops it.
#include <Library/IoLib.h>

namespace {

template <typename T> T MmioRead(UINTN Address) {
  return *reinterpret_cast<volatile T *>(Address);
}

template <typename T> T MmioWrite(UINTN Address, T Value) {
  *reinterpret_cast<volatile T *>(Address) = Value;
  return Value;
}

} // namespace

UINT8 IoRead8(UINTN Port) {
  UINT8 Value;
  asm volatile("inb %w1, %b0" : "=a"(Value) : "Nd"(UINT16(Port)));
  return Value;
}

UINT16 IoRead16(UINTN Port) {
  UINT16 Value;
  asm volatile("inw %w1, %w0" : "=a"(Value) : "Nd"(UINT16(Port)));
  return Value;
}

UINT32 IoRead32(UINTN Port) {
  UINT32 Value;
  asm volatile("inl %w1, %0" : "=a"(Value) : "Nd"(UINT16(Port)));
  return Value;
}

UINT8 IoWrite8(UINTN Port, UINT8 Value) {
  asm volatile("outb %b0, %w1" : : "a"(Value), "Nd"(UINT16(Port)));
  return Value;
}

UINT16 IoWrite16(UINTN Port, UINT16 Value) {
  asm volatile("outw %w0, %w1" : : "a"(Value), "Nd"(UINT16(Port)));
  return Value;
}

UINT32 IoWrite32(UINTN Port, UINT32 Value) {
  asm volatile("outl %0, %w1" : : "a"(Value), "Nd"(UINT16(Port)));
  return Value;
}

UINT8 MmioRead8(UINTN Address) {
  return MmioRead<UINT8>(Address);
}
UINT16 MmioRead16(UINTN Address) {
  return MmioRead<UINT16>(Address);
}
UINT32 MmioRead32(UINTN Address) {
  return MmioRead<UINT32>(Address);
}
UINT64 MmioRead64(UINTN Address) {
  return MmioRead<UINT64>(Address);
}
UINT8 MmioWrite8(UINTN Address, UINT8 Value) {
  return MmioWrite(Address, Value);
}
UINT16 MmioWrite16(UINTN Address, UINT16 Value) {
  return MmioWrite(Address, Value);
}
UINT32 MmioWrite32(UINTN Address, UINT32 Value) {
  return MmioWrite(Address, Value);
}
UINT64 MmioWrite64(UINTN Address, UINT64 Value) {
  return MmioWrite(Address, Value);
}
