#include "Guid.h"

#include <cstdio>

namespace fwfile {
namespace {

// Registry text "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX"; the first three fields are stored
// little-endian, the last eight bytes in text order.
constexpr std::size_t kTextLength = 36;
constexpr std::size_t kDashes[] = {8, 13, 18, 23};
// Byte index in storage order of each pair of hex digits, in text order.
constexpr std::size_t kStorageIndex[] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

} // namespace

std::optional<Guid> ParseGuid(std::string_view text) {
  if (text.size() != kTextLength) {
    return std::nullopt;
  }
  std::string digits;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dashPlace = i == kDashes[0] || i == kDashes[1] || i == kDashes[2] || i == kDashes[3];
    if (dashPlace != (text[i] == '-')) {
      return std::nullopt;
    }
    if (!dashPlace) {
      digits.push_back(text[i]);
    }
  }
  Guid guid;
  for (std::size_t pair = 0; pair < 16; ++pair) {
    const int high = HexDigit(digits[2 * pair]);
    const int low = HexDigit(digits[2 * pair + 1]);
    if (high < 0 || low < 0) {
      return std::nullopt;
    }
    guid.Bytes[kStorageIndex[pair]] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return guid;
}

std::string FormatGuid(const Guid &guid) {
  std::string text;
  for (std::size_t pair = 0; pair < 16; ++pair) {
    if (pair == 4 || pair == 6 || pair == 8 || pair == 10) {
      text.push_back('-');
    }
    char digits[3];
    std::snprintf(digits, sizeof(digits), "%02X", guid.Bytes[kStorageIndex[pair]]);
    text += digits;
  }
  return text;
}

} // namespace fwfile
