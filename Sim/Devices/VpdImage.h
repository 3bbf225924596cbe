// Builds the contents of a PCI Vital Product Data store (PCI Local Bus Specification 3.0, 6.4
// and appendix I): an identifier-string resource, a VPD-R resource with the given keywords and
// the "RV" checksum keyword, and the end tag.
#pragma once
#include "Board/Board.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace boardsim {

inline constexpr uint8_t kVpdIdentifierStringTag = 0x82;
inline constexpr uint8_t kVpdReadOnlyTag = 0x90;
inline constexpr uint8_t kVpdEndTag = 0x78;

// The store, zero-padded to at least kVpdImageSize bytes. A keyword is written as its first two
// characters (space-padded) and at most 255 value bytes, the most one length byte can describe.
std::vector<uint8_t> BuildVpdImage(std::string_view identifier,
                                   const std::vector<VpdKeyword> &keywords);

} // namespace boardsim
