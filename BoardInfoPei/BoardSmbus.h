// The board's devices on the host SMBus (7-bit addresses) and one-byte transfers with them.
#pragma once
#include <Pi/PiPei.h>

// Bus selector: routes the host SMBus to one of the board's segments.
inline constexpr UINT8 SMBUS_BUS_SELECTOR = 0x71;
inline constexpr UINT8 SELECTOR_BOARD_INPUTS = 0x10;
inline constexpr UINT8 SELECTOR_DEVICE_CODE = 0x01;
inline constexpr UINT8 SELECTOR_RELEASED = 0x00;

inline constexpr UINT8 SMBUS_BOARD_INPUT_LOW = 0x3A;   // X
inline constexpr UINT8 SMBUS_BOARD_INPUT_HIGH = 0x3B;  // Y
inline constexpr UINT8 SMBUS_BOARD_INPUT_FIELD = 0x3E; // Z
inline constexpr UINT8 SMBUS_DEVICE_CODE = 0x33;
inline constexpr UINT8 SMBUS_SEGMENT_CONTROL = 0x74;
inline constexpr UINT8 SEGMENT_CONTROL_CLEAR = 0x00;

// The same selector as the BMC sees it on its private bus 2: the IPMI Master Write-Read bus byte
// (channel 0, bus ID 2, private) and the 8-bit form of the selector's address.
inline constexpr UINT8 BMC_PRIVATE_BUS = 0x05;
inline constexpr UINT8 BMC_SELECTOR_ADDRESS = SMBUS_BUS_SELECTOR << 1;

EFI_STATUS SmbusWriteByte(CONST EFI_PEI_SMBUS2_PPI *Smbus, UINT8 Address, UINT8 Command,
                          UINT8 Value);
EFI_STATUS SmbusReadByte(CONST EFI_PEI_SMBUS2_PPI *Smbus, UINT8 Address, UINT8 Command,
                         UINT8 *Value);
