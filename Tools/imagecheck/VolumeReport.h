// The imagecheck view of a firmware volume (.fv) or a whole firmware image (.fd): every volume
// with its files, and for an image laid out as OVMF's also the compressed PEI and DXE volumes,
// the PEI apriori list and what each file is, so that files that ffstool inserted can be seen.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <span>

namespace imagecheck {

// Throws fwfile::FfsError when the first volume does not parse.
void PrintVolumeReport(std::ostream &out, const std::filesystem::path &path,
                       std::span<const std::uint8_t> bytes);

} // namespace imagecheck
