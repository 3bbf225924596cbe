#include "Board/BoardText.h"

#include "Board/NumberFormat.h"

#include <charconv>

namespace boardsim {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// One or more hex digits, up to 64 bits of value.
std::optional<uint64_t> HexField(std::string_view text) {
  if (text.empty())
    return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    int digit = HexDigit(c);
    if (digit < 0 || value >> 60 != 0)
      return std::nullopt;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return value;
}

std::string Quoted(std::string_view text) {
  return "`" + std::string(text) + "`";
}

} // namespace

TextParse<std::vector<uint8_t>> ParseHexBytes(std::string_view text) {
  std::vector<uint8_t> bytes;
  int pending = -1; // high nibble waiting for its partner
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == ' ' || c == ':')
      continue;
    int digit = HexDigit(c);
    if (digit < 0) {
      return {std::nullopt, "'" + std::string(1, c) + "' at position " + std::to_string(i + 1) +
                                " is not a hex digit"};
    }
    if (pending < 0) {
      pending = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(pending << 4 | digit));
      pending = -1;
    }
  }
  if (pending >= 0)
    return {std::nullopt, "odd number of hex digits: every byte needs two"};
  return {std::move(bytes), {}};
}

TextParse<uint64_t> ParseNumber(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    if (auto value = HexField(text.substr(2)))
      return {*value, {}};
    return {std::nullopt, Quoted(text) + " is not a hex number of at most 64 bits"};
  }
  uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
    return {std::nullopt,
            Quoted(text) + " is not a decimal or 0x-prefixed hex number of at most 64 bits"};
  }
  return {value, {}};
}

TextParse<Bdf> ParseBdf(std::string_view text) {
  const size_t colon = text.find(':');
  const size_t dot = colon == std::string_view::npos ? colon : text.find('.', colon);
  if (dot == std::string_view::npos) {
    return {std::nullopt, Quoted(text) + " is not of the form bb:dd.f"};
  }
  auto bus = HexField(text.substr(0, colon));
  auto device = HexField(text.substr(colon + 1, dot - colon - 1));
  auto function = HexField(text.substr(dot + 1));
  if (!bus || !device || !function) {
    return {std::nullopt, Quoted(text) + " is not of the form bb:dd.f with hex numbers"};
  }
  if (*bus > 0xFF)
    return {std::nullopt, "bus " + Hex(*bus) + " is above 0xFF"};
  if (*device > 0x1F)
    return {std::nullopt, "device " + Hex(*device) + " is above 0x1F"};
  if (*function > 7)
    return {std::nullopt, "function " + std::to_string(*function) + " is above 7"};
  return {Bdf{static_cast<uint8_t>(*bus), static_cast<uint8_t>(*device),
              static_cast<uint8_t>(*function)},
          {}};
}

TextParse<GuidBytes> ParseGuid(std::string_view text) {
  const std::string problem =
      Quoted(text) + " is not a GUID in registry form (8-4-4-4-12 hex digits)";
  if (text.size() == 38 && text.front() == '{' && text.back() == '}')
    text = text.substr(1, 36);
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' ||
      text[23] != '-') {
    return {std::nullopt, problem};
  }
  auto data1 = HexField(text.substr(0, 8));
  auto data2 = HexField(text.substr(9, 4));
  auto data3 = HexField(text.substr(14, 4));
  auto data4 = ParseHexBytes(std::string(text.substr(19, 4)) + std::string(text.substr(24, 12)));
  if (!data1 || !data2 || !data3 || !data4.value || data4.value->size() != 8) {
    return {std::nullopt, problem};
  }
  // EFI_GUID keeps its first three fields little-endian and the last eight bytes as written.
  GuidBytes guid{};
  for (int i = 0; i < 4; ++i)
    guid[i] = static_cast<uint8_t>(*data1 >> (8 * i));
  for (int i = 0; i < 2; ++i)
    guid[4 + i] = static_cast<uint8_t>(*data2 >> (8 * i));
  for (int i = 0; i < 2; ++i)
    guid[6 + i] = static_cast<uint8_t>(*data3 >> (8 * i));
  for (int i = 0; i < 8; ++i)
    guid[8 + i] = (*data4.value)[i];
  return {guid, {}};
}

} // namespace boardsim
