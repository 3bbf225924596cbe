#include "Devices/PciConfigImage.h"

#include "Devices/NicModels.h"
#include "Devices/VpdCapability.h"

namespace boardsim {
namespace {

constexpr uint32_t kFirstCapability = 0x40;
constexpr uint32_t kCapabilitySlot = 8; // room for the largest capability placed here (VPD)
constexpr uint32_t kStandardSpaceEnd = 0x100;
constexpr uint8_t kHeaderTypeBridge = 0x01;
constexpr uint8_t kHeaderTypeMultiFunction = 0x80;

void Put16(ConfigSpace &c, uint32_t at, uint16_t v) {
  c.Set(at, static_cast<uint8_t>(v));
  c.Set(at + 1, static_cast<uint8_t>(v >> 8));
}
void Put32(ConfigSpace &c, uint32_t at, uint32_t v) {
  Put16(c, at, static_cast<uint16_t>(v));
  Put16(c, at + 2, static_cast<uint16_t>(v >> 16));
}

bool InHostWindow(const PciFunction &function, uint32_t slot) {
  return function.bdf == Bdf{} && slot < kHostWindowFirst + kHostWindowSize &&
         kHostWindowFirst < slot + kCapabilitySlot;
}

// Chains the board's capability IDs, then the VPD capability of a model that has one, from 0x40
// upwards; slots that overlap the host register window are skipped. IDs that find no room in
// the standard space are left out.
void PlaceCapabilities(const PciFunction &function, ConfigImage &image) {
  const std::vector<uint8_t> &ids = function.capabilities;
  const bool withVpd = HasVpd(function);
  const size_t count = ids.size() + (withVpd ? 1 : 0);
  uint32_t link = kConfigCapabilityPointer;
  uint32_t slot = kFirstCapability;
  for (size_t i = 0; i < count; ++i) {
    while (InHostWindow(function, slot))
      slot += kCapabilitySlot;
    if (slot + kCapabilitySlot > kStandardSpaceEnd)
      break;
    const bool vpd = i == ids.size();
    image.bytes.Set(link, static_cast<uint8_t>(slot));
    image.bytes.Set(slot, vpd ? kVpdCapabilityId : ids[i]);
    link = slot + 1;
    if (vpd)
      image.vpdCapability = slot;
    slot += kCapabilitySlot;
  }
  if (image.bytes.Get(kConfigCapabilityPointer) != 0) {
    Put16(image.bytes, kConfigStatus, kStatusCapabilityList);
  }
}

} // namespace

ConfigImage BuildConfigImage(const PciFunction &function, uint32_t bar0, bool multiFunction) {
  ConfigImage image;
  ConfigSpace &c = image.bytes;
  Put16(c, kConfigVendorId, function.vendor);
  Put16(c, kConfigVendorId + 2, function.device);
  c.Set(kConfigClassCode, function.class_code);
  c.Set(kConfigHeaderType,
        static_cast<uint8_t>((function.kind == PciKind::Bridge ? kHeaderTypeBridge : 0) |
                             (multiFunction ? kHeaderTypeMultiFunction : 0)));
  Put32(c, kConfigBar0, bar0);
  if (function.kind == PciKind::Bridge) {
    c.Set(kConfigPrimaryBus, function.bdf.bus);
    c.Set(kConfigSecondaryBus, function.secondary.value_or(0));
    c.Set(kConfigSubordinateBus, function.subordinate.value_or(0));
  }
  PlaceCapabilities(function, image);
  PlaceNicConfig(function, c);
  for (const auto &[offset, value] : function.config) {
    if (offset < kConfigSpaceSize)
      c.Set(offset, value);
  }
  return image;
}

} // namespace boardsim
