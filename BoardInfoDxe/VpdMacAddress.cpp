#include "VpdMacAddress.h"
#include <Library/UefiBootServicesTableLib.h>

namespace {

constexpr UINT32 VPD_ADDRESS_REGISTER = 2;
constexpr UINT32 VPD_DATA_REGISTER = 4;
constexpr UINT16 VPD_COMPLETE = 0x8000;
// Most controllers answer within a few reads; slower ones are given about 100 ms, as operating
// systems give them, measured in stalls between polls.
constexpr UINTN VPD_POLLS_BEFORE_STALLING = 100;
constexpr UINTN VPD_POLL_STALL_MICROSECONDS = 100;
constexpr UINTN VPD_COMPLETION_TIMEOUT_MICROSECONDS = 100000;
constexpr UINT32 VPD_KEYWORD_HEADER_SIZE = 3;

UINT8 HexDigitValue(UINT8 Character) {
  if (Character >= '0' && Character <= '9') {
    return UINT8(Character - '0');
  }
  if (Character >= 'A' && Character <= 'F') {
    return UINT8(Character - 'A' + 10);
  }
  return Character;
}

// The address register's bit 15 turns to 1 once the dword has reached the data register.
bool WaitVpdComplete(UINT32 AddressRegister) {
  UINTN Waited = 0;
  for (UINTN Poll = 0;; Poll++) {
    if ((MmioRead16(AddressRegister) & VPD_COMPLETE) != 0) {
      return true;
    }
    if (Poll + 1 < VPD_POLLS_BEFORE_STALLING) {
      continue;
    }
    if (Waited >= VPD_COMPLETION_TIMEOUT_MICROSECONDS) {
      return false;
    }
    gBS->Stall(VPD_POLL_STALL_MICROSECONDS);
    Waited += VPD_POLL_STALL_MICROSECONDS;
  }
}

} // namespace

VPD_MAC_KEYWORDS ScanVpdImage(const UINT8 *Image) {
  VPD_MAC_KEYWORDS Found = {0, 0, 0};
  // A "VA" header and its one-byte value end at i + 3, so no keyword starts later than that.
  for (UINT32 I = 0; I + VPD_KEYWORD_HEADER_SIZE < VPD_IMAGE_SIZE; I++) {
    if (Image[I] != 'V') {
      continue;
    }
    UINT8 Second = Image[I + 1];
    UINT8 Length = Image[I + 2];
    UINT32 Value = I + VPD_KEYWORD_HEADER_SIZE;
    if (Second == 'A' && Length == 1) {
      Found.PortCount = UINT32(Image[Value]) - '0';
    }
    if (Length == VPD_MAC_TEXT_LENGTH && Value + VPD_MAC_TEXT_LENGTH <= VPD_IMAGE_SIZE) {
      if (Second == '2') {
        Found.V2Position = Value;
      } else if (Second == '3') {
        Found.V3Position = Value;
      }
    }
  }
  return Found;
}

VOID HexToMacAddress(UINT8 *Out, const UINT8 *Image, UINT32 Offset) {
  for (UINT32 K = 0; K < VPD_MAC_TEXT_LENGTH / 2; K++) {
    UINT8 High = HexDigitValue(Image[Offset + 2 * K]);
    UINT8 Low = HexDigitValue(Image[Offset + 2 * K + 1]);
    Out[K] = UINT8((High << 4) | Low);
  }
}

VOID ReadVpdMacAddress(PCI_BDF16 Device, UINT16 VpdKeyword, UINT8 *Entry) {
  UINT8 Capability = FindVpdCapability(Device);
  if (Capability == 0) {
    return;
  }
  // The capability was found through the ports; its registers are used through ECAM.
  UINT32 AddressRegister = PciCfgAddress(Device, Capability + VPD_ADDRESS_REGISTER);
  UINT32 DataRegister = PciCfgAddress(Device, Capability + VPD_DATA_REGISTER);
  UINT8 Image[VPD_IMAGE_SIZE];
  for (UINT32 Offset = 0; Offset < VPD_IMAGE_SIZE; Offset += 4) {
    MmioWrite16(AddressRegister, UINT16(Offset));
    if (!WaitVpdComplete(AddressRegister)) {
      return;
    }
    UINT32 Data = MmioRead32(DataRegister);
    for (UINT32 Byte = 0; Byte < 4; Byte++) {
      Image[Offset + Byte] = UINT8(Data >> (8 * Byte));
    }
  }

  VPD_MAC_KEYWORDS Found = ScanVpdImage(Image);
  UINT32 Position = 0;
  if (VpdKeyword == VPD_KEYWORD_V2 && Found.PortCount >= 1) {
    Position = Found.V2Position;
  } else if (VpdKeyword == VPD_KEYWORD_V3 && Found.PortCount >= 2) {
    Position = Found.V3Position;
  }
  if (Position != 0) {
    HexToMacAddress(Entry, Image, Position);
  }
}
