#include "Report/VpdReadBack.h"
#include "Report/ReportText.h"

namespace boardsim::report {
namespace {

constexpr uint64_t kDataAfterAddress = 2; // data register at capability + 4, address at + 2
constexpr uint64_t kAddressMask = 0x7FFF;
// Capabilities lie past the 64-byte standard header, so a 16-bit write below it (the command
// register) is never the VPD address register.
constexpr uint64_t kFirstCapability = 0x40;
constexpr size_t kHeader = 3;   // keyword name and length byte
constexpr size_t kMacText = 12; // hexadecimal digits of a MAC address

struct Keywords {
  std::optional<uint8_t> portCount; // the "VA" digit minus '0'
  bool v2 = false, v3 = false;
};

// The keywords the driver looks for, found the way it finds them: anywhere in the image, a later
// match replacing an earlier one.
Keywords Scan(const std::array<uint8_t, 256> &image) {
  Keywords found;
  for (size_t i = 0; i + kHeader < image.size(); ++i) {
    if (image[i] != 'V')
      continue;
    const uint8_t second = image[i + 1], length = image[i + 2];
    if (second == 'A' && length == 1)
      found.portCount = static_cast<uint8_t>(image[i + kHeader] - '0');
    if (length == kMacText && i + kHeader + kMacText <= image.size()) {
      found.v2 |= second == '2';
      found.v3 |= second == '3';
    }
  }
  return found;
}

} // namespace

void VpdReadBack::Follow(const Json &e) {
  const uint64_t offset = U64(e, "offset"), width = U64(e, "width");
  if (Text(e, "dir") == "write" && width == 16 && offset >= kFirstCapability) {
    addressRegister_ = offset;
    pendingAddress_ = U64(e, "value") & kAddressMask;
    waiting_ = true;
  } else if (Text(e, "dir") == "read" && width == 32 && waiting_ &&
             offset == *addressRegister_ + kDataAfterAddress) {
    const uint64_t value = U64(e, "value");
    for (uint64_t i = 0; i < 4 && pendingAddress_ + i < kImageSize; ++i)
      image_[pendingAddress_ + i] = static_cast<uint8_t>(value >> (8 * i));
    waiting_ = false;
  }
}

std::string VpdReadBack::ZeroMacReason(int keyword) const {
  if (!addressRegister_)
    return "no VPD capability was found";
  if (waiting_)
    return "the VPD read timed out at " + Hex(pendingAddress_);
  const Keywords found = Scan(image_);
  const int needed = keyword == 1 ? 1 : 2;
  if (!found.portCount || *found.portCount < needed)
    return std::string("\"VA\" does not allow an address for this controller (") +
           (found.portCount ? "VA = " + std::to_string(*found.portCount) : "no VA") + ")";
  if (keyword == 1 ? !found.v2 : !found.v3)
    return std::string("keyword ") + (keyword == 1 ? "V2" : "V3") + " missing from the VPD";
  return "the VPD holds a zero address";
}

} // namespace boardsim::report
