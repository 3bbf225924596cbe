// Port and memory-mapped I/O. Module code reaches every device register through these
// routines; the native backend issues the instructions, the host backend asks the simulator.
#pragma once
#include <Base.h>

UINT8 IoRead8(UINTN Port);
UINT16 IoRead16(UINTN Port);
UINT32 IoRead32(UINTN Port);
UINT8 IoWrite8(UINTN Port, UINT8 Value);
UINT16 IoWrite16(UINTN Port, UINT16 Value);
UINT32 IoWrite32(UINTN Port, UINT32 Value);

UINT8 MmioRead8(UINTN Address);
UINT16 MmioRead16(UINTN Address);
UINT32 MmioRead32(UINTN Address);
UINT64 MmioRead64(UINTN Address);
UINT8 MmioWrite8(UINTN Address, UINT8 Value);
UINT16 MmioWrite16(UINTN Address, UINT16 Value);
UINT32 MmioWrite32(UINTN Address, UINT32 Value);
UINT64 MmioWrite64(UINTN Address, UINT64 Value);
