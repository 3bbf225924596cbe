// Firmware volumes (PI volume 3, 3.2.1) with the FFS2 file system and erase polarity 1: written
// from files that BuildFile wrote, read back, and given further files in their free space.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "Guid.h"

namespace fwfile {

// Places the files in order, each on its 8-byte boundary, with a pad file in front of any file
// whose data alignment needs one; erased bytes fill the rest up to a whole number of blocks.
// Throws FfsError for a file that does not parse or is not in the erase polarity 1 state.
std::vector<std::uint8_t> BuildVolume(std::span<const std::vector<std::uint8_t>> files,
                                      std::uint32_t blockSize);

struct VolumeFile {
  std::size_t Offset = 0; // of the file header, from the start of the volume
  std::size_t Size = 0;
  Guid Name;
  std::uint8_t Type = 0;
  std::uint8_t State = 0;
};

struct VolumeContents {
  Guid FileSystem;
  std::size_t Length = 0;    // FvLength
  std::size_t FreeStart = 0; // where the erased space after the last file begins
  std::vector<VolumeFile> Files;
};

// Walks a volume's files. Throws FfsError for a header it does not understand (another file
// system, erase polarity 0, FFS3 files) or for data in the erased space after the last file.
VolumeContents ReadVolume(std::span<const std::uint8_t> volume);

// Whether a file is complete and not deleted (erase polarity 1).
bool FileIsValid(std::uint8_t state);
// Marks the file at offset deleted: its state byte changes, no checksum covers it.
void MarkFileDeleted(std::span<std::uint8_t> volume, std::size_t offset);

// Copies a file into the volume's free space on its 8-byte boundary, with a pad file in front
// when its data alignment needs one, and returns the file's offset. Throws FfsError when the free
// space is too small.
std::size_t AppendToVolume(std::vector<std::uint8_t> &volume, std::span<const std::uint8_t> file);

} // namespace fwfile
