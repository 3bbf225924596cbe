#include "FirmwareVolume.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "FfsFile.h"

namespace fwfile {
namespace {

constexpr std::size_t kHeaderLength = sizeof(VolumeHeader) + 2 * sizeof(BlockMapEntry);

std::size_t AlignUp(std::size_t value, std::size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// A pad file of the given total size: no name, no checksum, erased data.
std::vector<std::uint8_t> PadFile(std::size_t size) {
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
  std::vector<std::uint8_t> file(raw, raw + sizeof(header));
  file.resize(size, kErasedByte);
  return file;
}

// Where a file that starts at or after offset must start so that its data lands on its
// alignment, and the pad file (0 bytes: none) that fills the gap.
struct Placement {
  std::size_t PadSize;
  std::size_t FileOffset;
};

Placement PlaceFile(std::size_t offset, std::uint32_t dataAlignment) {
  offset = AlignUp(offset, kFileAlignment);
  const std::size_t dataStart = offset + sizeof(FileHeader);
  if (dataStart % dataAlignment == 0) {
    return {0, offset};
  }
  // The pad file is at least its own header.
  const std::size_t aligned =
      AlignUp(dataStart + sizeof(FileHeader), dataAlignment) - sizeof(FileHeader);
  return {aligned - offset, aligned};
}

std::size_t GetSize24(const std::uint8_t *field) {
  return field[0] | std::size_t(field[1]) << 8 | std::size_t(field[2]) << 16;
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
    const Placement place = PlaceFile(volume.size(), file.DataAlignment);
    if (place.PadSize != 0) {
      const std::vector<std::uint8_t> pad = PadFile(place.PadSize);
      volume.insert(volume.end(), pad.begin(), pad.end());
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

VolumeContents ReadVolume(std::span<const std::uint8_t> volume) {
  VolumeHeader header;
  if (volume.size() < sizeof(header)) {
    throw FfsError("only " + std::to_string(volume.size()) +
                   " bytes: too short for a volume header");
  }
  std::memcpy(&header, volume.data(), sizeof(header));
  VolumeContents contents;
  std::copy(std::begin(header.FileSystemGuid), std::end(header.FileSystemGuid),
            contents.FileSystem.Bytes.begin());
  if (header.Signature != kVolumeSignature || header.FvLength > volume.size() ||
      header.HeaderLength < sizeof(header) || header.HeaderLength > header.FvLength) {
    throw FfsError("no firmware volume header (\"_FVH\" and a length that fits) at its start");
  }
  if (contents.FileSystem != kFileSystem2Guid) {
    throw FfsError("the volume's file system is " + FormatGuid(contents.FileSystem) +
                   ", not FFS2 (" + FormatGuid(kFileSystem2Guid) + ")");
  }
  if ((header.Attributes & kFvbErasePolarity) == 0) {
    throw FfsError("the volume has erase polarity 0; only erase polarity 1 is supported");
  }
  contents.Length = static_cast<std::size_t>(header.FvLength);
  std::size_t at = header.HeaderLength;
  // EFI_FIRMWARE_VOLUME_EXT_HEADER: the name GUID, then its own size.
  if (header.ExtHeaderOffset != 0) {
    if (header.ExtHeaderOffset + 20u > contents.Length) {
      throw FfsError("the volume's extended header lies outside it");
    }
    std::uint32_t extSize;
    std::memcpy(&extSize, volume.data() + header.ExtHeaderOffset + 16, sizeof(extSize));
    at = header.ExtHeaderOffset + extSize;
  }
  const std::span<const std::uint8_t> bytes = volume.first(contents.Length);
  for (at = AlignUp(at, kFileAlignment); at + sizeof(FileHeader) <= contents.Length;
       at = AlignUp(at, kFileAlignment)) {
    const auto header24 = bytes.subspan(at, sizeof(FileHeader));
    if (std::all_of(header24.begin(), header24.end(), [](auto b) { return b == kErasedByte; })) {
      break;
    }
    VolumeFile file;
    file.Offset = at;
    std::copy(header24.begin(), header24.begin() + 16, file.Name.Bytes.begin());
    file.Type = header24[offsetof(FileHeader, Type)];
    file.State = header24[offsetof(FileHeader, State)];
    file.Size = GetSize24(header24.data() + offsetof(FileHeader, Size));
    if ((header24[offsetof(FileHeader, Attributes)] & kAttribLargeFile) != 0) {
      throw FfsError("the file at offset " + std::to_string(at) +
                     " has an FFS3 (large file) header, which is not supported");
    }
    if (file.Size < sizeof(FileHeader) || at + file.Size > contents.Length) {
      throw FfsError("the file at offset " + std::to_string(at) + " gives a size of " +
                     std::to_string(file.Size) + " bytes, which does not fit the volume");
    }
    contents.Files.push_back(file);
    at += file.Size;
  }
  contents.FreeStart = std::min(at, contents.Length);
  const auto rest = bytes.subspan(contents.FreeStart);
  const auto used = std::find_if(rest.begin(), rest.end(), [](auto b) { return b != kErasedByte; });
  if (used != rest.end()) {
    throw FfsError("the volume has data at offset " +
                   std::to_string(contents.FreeStart + (used - rest.begin())) +
                   " in what should be erased space after its last file");
  }
  return contents;
}

bool FileIsValid(std::uint8_t state) {
  // With erase polarity 1 a state bit is set by clearing it.
  const std::uint8_t set = static_cast<std::uint8_t>(~state);
  return (set & kStateDataValid) != 0 && (set & (kStateDeleted | kStateHeaderInvalid)) == 0;
}

void MarkFileDeleted(std::span<std::uint8_t> volume, std::size_t offset) {
  volume[offset + offsetof(FileHeader, State)] &= static_cast<std::uint8_t>(~kStateDeleted);
}

std::size_t AppendToVolume(std::vector<std::uint8_t> &volume, std::span<const std::uint8_t> file) {
  const VolumeContents contents = ReadVolume(volume);
  const ParsedFile parsed = ParseFile(file);
  const Placement place = PlaceFile(contents.FreeStart, parsed.DataAlignment);
  if (place.FileOffset + parsed.Size > contents.Length) {
    throw FfsError("file " + FormatGuid(parsed.Name) + " (" + std::to_string(parsed.Size) +
                   " bytes) does not fit: the volume has " +
                   std::to_string(contents.Length - contents.FreeStart) + " free bytes");
  }
  if (place.PadSize != 0) {
    const std::vector<std::uint8_t> pad = PadFile(place.PadSize);
    std::copy(pad.begin(), pad.end(),
              volume.begin() + static_cast<std::ptrdiff_t>(place.FileOffset - place.PadSize));
  }
  std::copy(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(parsed.Size),
            volume.begin() + static_cast<std::ptrdiff_t>(place.FileOffset));
  return place.FileOffset;
}

} // namespace fwfile
