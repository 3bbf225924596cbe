// Where each NIC model keeps its MAC address: Intel 700-series receive-address registers and
// the generic register block in BAR0 memory, the Broadcom device serial number in extended
// configuration space, the Mellanox address in its Vital Product Data.
#pragma once
#include "Board/Board.h"
#include "Devices/BarMemory.h"
#include "Devices/PciConfigImage.h"

#include <cstdint>
#include <vector>

namespace boardsim {

inline constexpr uint32_t kIntel700MacLow = 0x1E2120;  // address bytes 0-3
inline constexpr uint32_t kIntel700MacHigh = 0x1E2140; // address bytes 4-5
inline constexpr uint32_t kGenericMac = 0x5400;        // address bytes 0-5
inline constexpr uint32_t kSerialNumberCapability = 0x13C;
inline constexpr uint32_t kSerialNumber = 0x140; // 64-bit serial number, 0x140-0x147

bool HasVpd(const PciFunction &function);
// The model's part of the configuration space (before the board's overrides).
void PlaceNicConfig(const PciFunction &function, ConfigSpace &config);
// The model's part of BAR0 memory, then the board's `mmio` overrides.
void PlaceBarContents(const PciFunction &function, BarMemory &memory);
// The VPD store of a function that HasVpd: `vpd_raw` as given, or built from the keywords.
std::vector<uint8_t> VpdStore(const PciFunction &function);

} // namespace boardsim
