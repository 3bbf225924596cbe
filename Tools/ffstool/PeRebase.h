// Moving a PE/COFF image that executes in place to the address it will run at.
#pragma once
#include <cstdint>
#include <span>

namespace fwfile {

// Applies the image's base relocations for newBase to its file bytes and sets ImageBase. The
// image's file layout must be its memory layout (each section at its RVA), as an image that runs
// from a volume needs; throws FfsError otherwise or for a relocation type it does not know.
void RebasePeImage(std::span<std::uint8_t> image, std::uint64_t newBase);

// The image's ImageBase field.
std::uint64_t PeImageBase(std::span<const std::uint8_t> image);

} // namespace fwfile
