#include "FirmwareVolume.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "FfsFile.h"

namespace fwfile {
namespace {

constexpr std::size_t kHeaderLength = sizeof(VolumeHeader) + 2 * sizeof(BlockMapEntry);

std::size_t AlignUp(std::size_t value, std::size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// A pad file of the given total size: no name, no checksum, erased data.
void AppendPadFile(std::vector<std::uint8_t> &volume, std::size_t size) {
  FileHeader header{};
  std::fill(std::begin(header.Name), std::end(header.Name), 0);
  header.Type = static_cast<std::uint8_t>(FileType::Pad);
  header.Size[0] = static_cast<std::uint8_t>(size);
  header.Size[1] = static_cast<std::uint8_t>(size >> 8);
  header.Size[2] = static_cast<std::uint8_t>(size >> 16);
  header.FileChecksum = kFixedFileChecksum;
  std::uint8_t sum = 0;
  for (const std::uint8_t byte : std::span(reinterpret_cast<const std::uint8_t *>(&header), 24)) {
    sum = static_cast<std::uint8_t>(sum + byte);
  }
  // The file checksum counts as zero in the header sum.
  header.HeaderChecksum = static_cast<std::uint8_t>(kFixedFileChecksum - sum);
  header.State = kStateValidErasePolarity1;
  const auto *raw = reinterpret_cast<const std::uint8_t *>(&header);
  volume.insert(volume.end(), raw, raw + sizeof(header));
  volume.resize(volume.size() + size - sizeof(header), kErasedByte);
}

} // namespace

std::vector<std::uint8_t> BuildVolume(std::span<const std::vector<std::uint8_t>> files,
                                      std::uint32_t blockSize) {
  if (blockSize == 0 || blockSize % kFileAlignment != 0) {
    throw FfsError("block size " + std::to_string(blockSize) + " is not a multiple of 8");
  }
  std::vector<std::uint8_t> volume(kHeaderLength, 0);
  std::uint32_t alignment = kFileAlignment;
  for (std::size_t index = 0; index < files.size(); ++index) {
    const ParsedFile file = ParseFile(files[index]);
    if (file.State != kStateValidErasePolarity1 || !file.HeaderChecksumValid) {
      throw FfsError("file " + std::to_string(index + 1) + " (" + FormatGuid(file.Name) +
                     ") is not a valid file for a volume with erase polarity 1");
    }
    volume.resize(AlignUp(volume.size(), kFileAlignment), kErasedByte);
    const std::size_t dataStart = volume.size() + sizeof(FileHeader);
    if (dataStart % file.DataAlignment != 0) {
      const std::size_t aligned =
          AlignUp(dataStart + sizeof(FileHeader), file.DataAlignment) - sizeof(FileHeader);
      AppendPadFile(volume, aligned - volume.size());
    }
    volume.insert(volume.end(), files[index].begin(),
                  files[index].begin() + static_cast<std::ptrdiff_t>(file.Size));
    alignment = std::max(alignment, file.DataAlignment);
  }
  volume.resize(AlignUp(volume.size(), blockSize), kErasedByte);

  VolumeHeader header{};
  std::copy(kFileSystem2Guid.Bytes.begin(), kFileSystem2Guid.Bytes.end(), header.FileSystemGuid);
  header.FvLength = volume.size();
  header.Signature = kVolumeSignature;
  header.Attributes = kFvbReadEnabledCap | kFvbReadStatus | kFvbMemoryMapped | kFvbErasePolarity |
                      static_cast<std::uint32_t>(std::countr_zero(alignment)) << kFvbAlignmentShift;
  header.HeaderLength = kHeaderLength;
  header.Revision = kVolumeRevision;
  const BlockMapEntry map[2] = {{static_cast<std::uint32_t>(volume.size() / blockSize), blockSize},
                                {0, 0}};
  std::memcpy(volume.data(), &header, sizeof(header));
  std::memcpy(volume.data() + sizeof(header), map, sizeof(map));
  // The header's 16-bit words sum to zero.
  std::uint16_t sum = 0;
  for (std::size_t at = 0; at < kHeaderLength; at += 2) {
    sum = static_cast<std::uint16_t>(sum + (volume[at] | volume[at + 1] << 8));
  }
  const std::uint16_t checksum = static_cast<std::uint16_t>(-sum);
  std::memcpy(volume.data() + offsetof(VolumeHeader, Checksum), &checksum, sizeof(checksum));
  return volume;
}

} // namespace fwfile
