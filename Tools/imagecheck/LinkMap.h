// Symbol addresses from the link map that lld-link writes next to each image (/map).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "PeImage.h"

namespace imagecheck {

// Where the map places a public symbol: the 1-based section number and the offset in it.
struct MapSymbol {
  std::uint32_t SectionNumber = 0;
  std::uint32_t Offset = 0;
};

// Finds the public symbol with exactly this (decorated) name in the map text.
std::optional<MapSymbol> FindMapSymbol(std::string_view map_text, std::string_view name);

// The symbol's RVA in the image the map belongs to, or nullopt when the map names a section the
// image lacks.
std::optional<std::uint32_t> SymbolRva(const PeImage &image, const MapSymbol &symbol);

// The entry symbol's decorated name: cdecl on IA32 adds a leading underscore.
std::string_view EntrySymbolName(std::uint16_t machine);

} // namespace imagecheck
