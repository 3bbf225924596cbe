// The power-on configuration space of one described PCI function: header, BAR0, capability
// list, the model's extended capabilities, and the board's raw overrides on top.
#pragma once
#include "Board/Board.h"
#include "Devices/ConfigSpace.h"

#include <cstdint>

namespace boardsim {

// Standard header offsets (PCI Local Bus Specification 3.0, 6.1).
inline constexpr uint32_t kConfigVendorId = 0x00;
inline constexpr uint32_t kConfigCommand = 0x04;
inline constexpr uint32_t kConfigStatus = 0x06;
inline constexpr uint32_t kConfigClassCode = 0x0B;
inline constexpr uint32_t kConfigHeaderType = 0x0E;
inline constexpr uint32_t kConfigBar0 = 0x10;
inline constexpr uint32_t kConfigPrimaryBus = 0x18;
inline constexpr uint32_t kConfigSecondaryBus = 0x19;
inline constexpr uint32_t kConfigSubordinateBus = 0x1A;
inline constexpr uint32_t kConfigCapabilityPointer = 0x34;
inline constexpr uint16_t kStatusCapabilityList = 1 << 4;
inline constexpr uint16_t kCommandMemorySpace = 1 << 1;

// Offsets of 00:00.0 that always belong to the host register window.
inline constexpr uint32_t kHostWindowFirst = 0xC0;
inline constexpr uint32_t kHostWindowSize = 12;

struct ConfigImage {
  ConfigSpace bytes;
  uint32_t vpdCapability = 0; // offset of the VPD capability, 0 when there is none
};

// `bar0`: the BAR0 value to place (0: none). `multiFunction`: other functions of the same device
// are described.
ConfigImage BuildConfigImage(const PciFunction &function, uint32_t bar0, bool multiFunction);

} // namespace boardsim
