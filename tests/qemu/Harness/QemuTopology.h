// The PCD answers that describe QEMU's network topology to BoardInfoDxe. They must match the
// devices that run-qemu-check.sh gives QEMU: four PCIe root ports at 00:1c.0-00:1c.3, each with
// its network controller(s) on the port's secondary bus.
#pragma once
#include <PcdTokens.h>

// Where OVMF places the q35 ECAM window.
inline constexpr UINTN HARNESS_ECAM_BASE = 0xB0000000;

struct HARNESS_PCD_ANSWER {
  UINTN TokenNumber;
  UINT32 Value;
};

// Bridge locations in PCI_BDF16 form (bus 0: device << 3 | function); below 0x1000, so the
// driver uses them untranslated.
inline constexpr HARNESS_PCD_ANSWER HARNESS_BRIDGE_ANSWERS[] = {
    {PcdNic1BridgeLocation, (0x1C << 3) | 0},
    {PcdNic2BridgeLocation, (0x1C << 3) | 1},
    {PcdNic3BridgeLocation, (0x1C << 3) | 2},
    {PcdNic4BridgeLocation, (0x1C << 3) | 3},
};

// The buffer token 553 names: room for the 40-byte S3 hand-over message, as on the board.
inline constexpr UINTN HARNESS_COMMUNICATION_BUFFER_SIZE = 64;

// 2: controllers 2 and 4 are function 1 of their device, controller 3 is function 0.
inline constexpr HARNESS_PCD_ANSWER HARNESS_FUNCTION_LAYOUT_ANSWER = {PcdNicFunctionLayout, 2};
