// Enable bits that the driver sets in the host register blocks at start-up.
#pragma once
#include <Base.h>

inline constexpr UINT32 HOST_ENABLE_REGISTER_A = 0x02D01D00;
inline constexpr UINT32 HOST_ENABLE_MASK_A = 0x00010000; // bit 16
inline constexpr UINT32 HOST_ENABLE_REGISTER_B = 0x02D02508;
inline constexpr UINT32 HOST_ENABLE_MASK_B = 0x00008000; // bit 15

// Fourteen read-modify-writes through the host register window, in instance order
// 1, 2, 3, 5, 6, 7 (both registers), then 0 and 4 (register A only).
VOID ProgramHostEnableBits();
