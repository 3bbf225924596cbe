#include "Devices/NicModels.h"

#include "Devices/VpdImage.h"

namespace boardsim {
namespace {

// PCI Express Base Specification 4.0, 7.8.4 (AER) and 7.9.3 (Device Serial Number): the
// extended list starts at 0x100 with AER, which links to the serial number capability.
constexpr uint32_t kExtendedListStart = 0x100;
constexpr uint16_t kAdvancedErrorReportingId = 0x0001;
constexpr uint16_t kSerialNumberId = 0x0003;
constexpr uint32_t kExtendedCapabilityVersion = 1;
constexpr char kVpdIdentifier[] = "Network Adapter";

bool IsNic(const PciFunction &function, NicModel model) {
  return function.kind == PciKind::Nic && function.model == model;
}

void PutExtendedHeader(ConfigSpace &c, uint32_t at, uint16_t id, uint32_t next) {
  const uint32_t header = id | kExtendedCapabilityVersion << 16 | next << 20;
  for (uint32_t i = 0; i < 4; ++i)
    c.Set(at + i, static_cast<uint8_t>(header >> (8 * i)));
}

} // namespace

bool HasVpd(const PciFunction &function) {
  return IsNic(function, NicModel::Mellanox);
}

void PlaceNicConfig(const PciFunction &function, ConfigSpace &config) {
  if (!IsNic(function, NicModel::Broadcom))
    return;
  PutExtendedHeader(config, kExtendedListStart, kAdvancedErrorReportingId, kSerialNumberCapability);
  PutExtendedHeader(config, kSerialNumberCapability, kSerialNumberId, 0);
  if (!function.mac)
    return;
  // EUI-64 from the EUI-48: OUI, then FF FE, then the extension; most significant byte at 0x147.
  const auto &mac = *function.mac;
  const uint8_t eui64[8] = {mac[0], mac[1], mac[2], 0xFF, 0xFE, mac[3], mac[4], mac[5]};
  for (uint32_t i = 0; i < 8; ++i)
    config.Set(kSerialNumber + 7 - i, eui64[i]);
}

void PlaceBarContents(const PciFunction &function, BarMemory &memory) {
  if (function.mac) {
    const auto &mac = *function.mac;
    if (IsNic(function, NicModel::Intel700)) {
      memory.Place(kIntel700MacLow, std::span(mac).first(4));
      memory.Place(kIntel700MacHigh, std::span(mac).subspan(4));
    } else if (IsNic(function, NicModel::Generic)) {
      memory.Place(kGenericMac, mac);
    }
  }
  for (const auto &[offset, bytes] : function.mmio)
    memory.Place(offset, bytes);
}

std::vector<uint8_t> VpdStore(const PciFunction &function) {
  if (function.vpd_raw)
    return *function.vpd_raw;
  static const std::vector<VpdKeyword> kNoKeywords;
  return BuildVpdImage(kVpdIdentifier, function.vpd ? *function.vpd : kNoKeywords);
}

} // namespace boardsim
