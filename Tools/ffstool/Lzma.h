// LZMA "alone" streams (5 property bytes, the 64-bit uncompressed size, the LZMA data): the
// format of the compressed GUID-defined sections in firmware images.
#pragma once
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace fwfile {

struct LzmaError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::vector<std::uint8_t> LzmaDecompress(std::span<const std::uint8_t> stream);

// Compresses with the given xz preset (0-9). The size field holds the real size: firmware
// decoders stop at it and do not accept "unknown".
std::vector<std::uint8_t> LzmaCompress(std::span<const std::uint8_t> data, std::uint32_t preset);

} // namespace fwfile
