// Parsers for the text forms a board file uses inside strings and keys: hex byte strings,
// numbers, "bb:dd.f" PCI addresses and registry-form GUIDs.
#pragma once

#include "Board/Board.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

// A parsed value, or what is wrong with the text.
template <typename T> struct TextParse {
  std::optional<T> value;
  std::string problem;
};

// Hex digit pairs; spaces and ':' are ignored ("00:02:C9 AB").
TextParse<std::vector<uint8_t>> ParseHexBytes(std::string_view text);

// Unsigned decimal ("584") or hex with 0x ("0x248"), up to 64 bits.
TextParse<uint64_t> ParseNumber(std::string_view text);

// "bb:dd.f", bus and device in hex, function 0-7.
TextParse<Bdf> ParseBdf(std::string_view text);

// Registry form "D97D161A-16CD-4ADA-B9F6-AEC3F9FCCC2C", braces optional.
TextParse<GuidBytes> ParseGuid(std::string_view text);

} // namespace boardsim
