// Firmware images laid out as OVMF lays them out: the first volume holds one firmware-volume-image
// file whose LZMA GUID-defined section contains two firmware-volume-image sections, the PEI volume
// and then the DXE volume. SEC decompresses the section and copies each volume to a fixed address
// with a fixed size, so further files go into the volumes' free space and the volumes keep their
// sizes.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "FirmwareVolume.h"

namespace fwfile {

enum class TargetVolume { Pei, Dxe };

struct Insertion {
  TargetVolume Volume = TargetVolume::Dxe;
  // PEI only: list the file in the PEI apriori file (dispatched first, before permanent memory)
  // and rebase its PE32 image to the address it runs at in the volume.
  bool Apriori = false;
  std::vector<std::uint8_t> File;
};

// The decompressed contents of such an image, where they came from, and where the two volumes
// lie in them.
struct CompressedVolumes {
  VolumeFile Container;      // the firmware-volume-image file in the first volume
  std::size_t DataStart = 0; // of the compressed stream, from the start of the image
  std::vector<std::uint8_t> Data;
  std::size_t PeiOffset = 0, PeiSize = 0, DxeOffset = 0, DxeSize = 0; // in Data

  std::span<std::uint8_t> Pei() { return std::span(Data).subspan(PeiOffset, PeiSize); }
  std::span<std::uint8_t> Dxe() { return std::span(Data).subspan(DxeOffset, DxeSize); }
};

// Throws FfsError, naming what differs, for an image not laid out as described above.
CompressedVolumes OpenCompressedVolumes(std::span<const std::uint8_t> image);

// The image with the files added in order, recompressed with the xz preset given.
std::vector<std::uint8_t> InsertIntoImage(std::span<const std::uint8_t> image,
                                          std::span<const Insertion> insertions,
                                          std::uint32_t preset);

// The address the PEI volume runs at, from the PE32 images already in it that were rebased to
// their place; throws FfsError when fewer than two agree.
std::uint64_t PeiVolumeBase(std::span<const std::uint8_t> volume);

// The names in a volume's valid PEI apriori file, in dispatch order (empty without one).
std::vector<Guid> AprioriList(std::span<const std::uint8_t> volume);

} // namespace fwfile
