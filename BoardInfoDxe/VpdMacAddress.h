// MAC addresses kept as hexadecimal text in a controller's Vital Product Data (PCI Local Bus
// specification 3.0, section 6.4 and appendix I).
#pragma once
#include "PciTopology.h"

inline constexpr UINTN VPD_IMAGE_SIZE = 256;
inline constexpr UINTN VPD_MAC_TEXT_LENGTH = 12;

// Which keyword ReadVpdMacAddress takes the address from.
inline constexpr UINT16 VPD_KEYWORD_V2 = 1;
inline constexpr UINT16 VPD_KEYWORD_V3 = 2;

// What a scan of the VPD image found. A position is the image offset of the keyword's value;
// 0 means the keyword was not found (a value never starts before offset 3).
struct VPD_MAC_KEYWORDS {
  UINT32 PortCount; // "VA" digit minus '0', as an unsigned number
  UINT32 V2Position;
  UINT32 V3Position;
};

// Looks for the keyword headers anywhere in the image, without following its resource tags;
// a later match replaces an earlier one.
VPD_MAC_KEYWORDS ScanVpdImage(const UINT8 *Image);

// Turns 12 characters at Image + Offset into 6 bytes; only '0'-'9' and 'A'-'F' count as hex
// digits, any other character stands for its own code.
VOID HexToMacAddress(UINT8 *Out, const UINT8 *Image, UINT32 Offset);

// Leaves Entry untouched (all zero, as the caller prepared it) when the device has no VPD, the
// VPD does not answer, its port count does not cover the keyword, or the keyword is missing.
VOID ReadVpdMacAddress(PCI_BDF16 Device, UINT16 VpdKeyword, UINT8 *Entry);
