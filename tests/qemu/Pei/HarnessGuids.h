// GUIDs that only the QEMU harness modules use.
#pragma once
#include <Base.h>

// 6A1C2F3E-58B4-4F0D-9E7A-31D5C8B2A940: the GUID-extension HOB that holds the PEI harness's
// working state.
inline constexpr EFI_GUID PEI_HARNESS_STATE_GUID = {
    0x6A1C2F3E, 0x58B4, 0x4F0D, {0x9E, 0x7A, 0x31, 0xD5, 0xC8, 0xB2, 0xA9, 0x40}};

// 605EA650-C65C-42E1-BA80-91A52AB618C6 (PI volume 1): installed by the DXE IPL as PEI ends.
inline constexpr EFI_GUID EFI_END_OF_PEI_PPI_GUID = {
    0x605EA650, 0xC65C, 0x42E1, {0xBA, 0x80, 0x91, 0xA5, 0x2A, 0xB6, 0x18, 0xC6}};
