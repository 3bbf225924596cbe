// GUIDs as the firmware file system stores them (EFI_GUID byte order), their registry text form,
// and the names of the GUIDs that dependency expressions of this tree use.
#pragma once
#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fwfile {

struct Guid {
  std::array<std::uint8_t, 16> Bytes{};
  friend auto operator<=>(const Guid &, const Guid &) = default;
};

// "6B588D7C-C72E-4A78-8858-77E1DA8FC7F7" (either case); nullopt if the text is not one.
std::optional<Guid> ParseGuid(std::string_view text);
std::string FormatGuid(const Guid &guid);

// A known name (e.g. PCD_PROTOCOL_GUID) or registry text; nullopt for neither.
std::optional<Guid> ResolveGuid(std::string_view nameOrText);
// The known name of a GUID, if it has one.
std::optional<std::string_view> GuidName(const Guid &guid);

// EFI_FIRMWARE_FILE_SYSTEM2_GUID, the file system of the volumes this tool writes.
inline constexpr Guid kFileSystem2Guid = {{0x78, 0xE5, 0x8C, 0x8C, 0x3D, 0x8A, 0x1C, 0x4F, 0x99,
                                           0x35, 0x89, 0x61, 0x85, 0xC3, 0x2D, 0xD3}};
// 1B45CC0A-156A-428A-AF62-49864DA0E6E6: the PEI apriori file, a list of file names the PEI
// foundation dispatches first, in that order (PI volume 1, 8.4).
inline constexpr Guid kPeiAprioriFileGuid = {{0x0A, 0xCC, 0x45, 0x1B, 0x6A, 0x15, 0x8A, 0x42, 0xAF,
                                              0x62, 0x49, 0x86, 0x4D, 0xA0, 0xE6, 0xE6}};
// EE4E5898-3914-4259-9D6E-DC7BD79403CF: GUID-defined sections compressed as LZMA "alone" streams.
inline constexpr Guid kLzmaSectionGuid = {{0x98, 0x58, 0x4E, 0xEE, 0x14, 0x39, 0x59, 0x42, 0x9D,
                                           0x6E, 0xDC, 0x7B, 0xD7, 0x94, 0x03, 0xCF}};

} // namespace fwfile
