// Firmware volumes (PI volume 3, 3.2.1) with the FFS2 file system and erase polarity 1, holding
// files that BuildFile wrote.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

namespace fwfile {

// Places the files in order, each on its 8-byte boundary, with a pad file in front of any file
// whose data alignment needs one; erased bytes fill the rest up to a whole number of blocks.
// Throws FfsError for a file that does not parse or is not in the erase polarity 1 state.
std::vector<std::uint8_t> BuildVolume(std::span<const std::vector<std::uint8_t>> files,
                                      std::uint32_t blockSize);

} // namespace fwfile
