#include "LinkMap.h"

#include <charconv>

namespace imagecheck {
namespace {

std::string_view NextToken(std::string_view &line) {
  const std::size_t start = line.find_first_not_of(" \t\r");
  if (start == std::string_view::npos) {
    line = {};
    return {};
  }
  line.remove_prefix(start);
  const std::size_t end = std::min(line.find_first_of(" \t\r"), line.size());
  const std::string_view token = line.substr(0, end);
  line.remove_prefix(end);
  return token;
}

bool ParseHex(std::string_view text, std::uint32_t &value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return error == std::errc{} && end == text.data() + text.size() && !text.empty();
}

// "0001:00000008" -> section 1, offset 8.
std::optional<MapSymbol> ParseAddress(std::string_view token) {
  const std::size_t colon = token.find(':');
  MapSymbol symbol;
  if (colon == std::string_view::npos || !ParseHex(token.substr(0, colon), symbol.SectionNumber) ||
      !ParseHex(token.substr(colon + 1), symbol.Offset)) {
    return std::nullopt;
  }
  return symbol;
}

} // namespace

std::optional<MapSymbol> FindMapSymbol(std::string_view map_text, std::string_view name) {
  while (!map_text.empty()) {
    const std::size_t newline = map_text.find('\n');
    std::string_view line = map_text.substr(0, newline);
    map_text.remove_prefix(newline == std::string_view::npos ? map_text.size() : newline + 1);

    const std::optional<MapSymbol> address = ParseAddress(NextToken(line));
    if (address && NextToken(line) == name) {
      return address;
    }
  }
  return std::nullopt;
}

std::optional<std::uint32_t> SymbolRva(const PeImage &image, const MapSymbol &symbol) {
  if (symbol.SectionNumber == 0 || symbol.SectionNumber > image.Sections.size()) {
    return std::nullopt;
  }
  return image.Sections[symbol.SectionNumber - 1].VirtualAddress + symbol.Offset;
}

std::string_view EntrySymbolName(std::uint16_t machine) {
  return machine == kMachineI386 ? "__ModuleEntryPoint" : "_ModuleEntryPoint";
}

} // namespace imagecheck
