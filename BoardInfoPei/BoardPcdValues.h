// How the bytes read from the board's SMBus devices become the values of its PCDs.
#pragma once
#include <Base.h>

// PcdBoardInputWord from the bytes of devices 0x3A (X) and 0x3B (Y): X's fields are regrouped
// around Y's low nibble; Y's high nibble and bits 31:13 stay clear.
constexpr UINT32 BoardInputWord(UINT8 X, UINT8 Y) {
  return UINT32(X >> 5)                 // bits 2:0  <- X bits 7:5
         | UINT32(Y & 0x0F) << 3        // bits 6:3  <- Y bits 3:0
         | UINT32((X >> 1) & 0x0F) << 8 // bits 11:8 <- X bits 4:1
         | UINT32(X & 0x01) << 12;      // bit 12    <- X bit 0
}

// PcdBoardInputField: bits 5:3 of the byte of device 0x3E.
constexpr UINT8 BoardInputField(UINT8 Z) {
  return UINT8((Z >> 3) & 0x07);
}

// Register 7 of device 0x33 holds this value when the code lives in register 5 instead.
inline constexpr UINT8 DEVICE_CODE_IN_REGISTER5 = 1;

// PcdBoardDeviceCode from registers 7 and 5 of device 0x33 (register 5 only counts when register
// 7 points at it).
constexpr UINT32 BoardDeviceCode(UINT8 Register7, UINT8 Register5) {
  return Register7 == DEVICE_CODE_IN_REGISTER5 ? 0x100 + UINT32(Register5) : Register7;
}
