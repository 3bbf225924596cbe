#include "FirmwareImage.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <tuple>
#include <optional>
#include <string>

#include "FfsFile.h"
#include "Lzma.h"
#include "PeRebase.h"

namespace fwfile {
namespace {

constexpr std::uint8_t kFirmwareVolumeImageFile =
    static_cast<std::uint8_t>(FileType::FirmwareVolumeImage);

std::size_t AlignUp(std::size_t value, std::size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

std::size_t Size24(std::span<const std::uint8_t> bytes) {
  return bytes[0] | std::size_t(bytes[1]) << 8 | std::size_t(bytes[2]) << 16;
}

std::string Hex(std::size_t value) {
  char text[24];
  std::snprintf(text, sizeof(text), "0x%zX", value);
  return text;
}

bool IsType(std::uint8_t type, SectionType wanted) {
  return type == static_cast<std::uint8_t>(wanted);
}

// The single valid firmware-volume-image file of the first volume.
VolumeFile ContainerFile(const VolumeContents &outer) {
  std::optional<VolumeFile> found;
  for (const VolumeFile &file : outer.Files) {
    if (file.Type == kFirmwareVolumeImageFile && FileIsValid(file.State)) {
      if (found) {
        throw FfsError("the first volume holds more than one firmware-volume-image file; "
                       "expected one, holding the compressed PEI and DXE volumes");
      }
      found = file;
    }
  }
  if (!found) {
    throw FfsError("the first volume holds no firmware-volume-image file; expected one, holding "
                   "the compressed PEI and DXE volumes");
  }
  return *found;
}

// The firmware-volume-image sections of the decompressed data: (offset of the volume, size).
std::vector<std::pair<std::size_t, std::size_t>>
VolumeSections(std::span<const std::uint8_t> data) {
  std::vector<std::pair<std::size_t, std::size_t>> volumes;
  for (std::size_t at = 0; at + sizeof(SectionHeader) <= data.size();
       at = AlignUp(at, kSectionAlignment)) {
    const std::size_t size = Size24(data.subspan(at));
    if (size < sizeof(SectionHeader) || size == kMaxSectionSize || at + size > data.size()) {
      throw FfsError("the decompressed section at offset " + Hex(at) + " gives a size of " +
                     Hex(size) + ", which does not fit (or needs the extended header)");
    }
    if (IsType(data[at + 3], SectionType::FirmwareVolumeImage)) {
      volumes.emplace_back(at + sizeof(SectionHeader), size - sizeof(SectionHeader));
    }
    at += size;
  }
  return volumes;
}

// Offset of the PE32 section body within a file, if it has one.
std::optional<std::size_t> Pe32Body(std::span<const std::uint8_t> file) {
  for (const FileSection &section : ParseFile(file).Sections) {
    if (IsType(section.Type, SectionType::Pe32)) {
      return section.Offset + sizeof(SectionHeader);
    }
  }
  return std::nullopt;
}

// Lists the names in a new apriori file that replaces the volume's old one (marked deleted).
void ExtendApriori(std::vector<std::uint8_t> &volume, std::span<const Guid> names) {
  std::vector<Guid> list = AprioriList(volume);
  for (const VolumeFile &file : ReadVolume(volume).Files) {
    if (file.Name == kPeiAprioriFileGuid && FileIsValid(file.State)) {
      MarkFileDeleted(volume, file.Offset);
    }
  }
  list.insert(list.end(), names.begin(), names.end());
  std::vector<std::uint8_t> body;
  for (const Guid &name : list) {
    body.insert(body.end(), name.Bytes.begin(), name.Bytes.end());
  }
  AppendToVolume(volume,
                 BuildSectionFile(kPeiAprioriFileGuid, FileType::Freeform, SectionType::Raw, body));
}

// Places the files in their volumes; apriori files are rebased where they land.
void PlaceFiles(CompressedVolumes &volumes, std::span<const Insertion> insertions) {
  std::vector<std::uint8_t> pei(volumes.Pei().begin(), volumes.Pei().end());
  std::vector<std::uint8_t> dxe(volumes.Dxe().begin(), volumes.Dxe().end());
  std::vector<Guid> apriori;
  for (const Insertion &insertion : insertions) {
    if (insertion.Apriori && insertion.Volume != TargetVolume::Pei) {
      throw FfsError("only PEI files can be listed in the apriori file");
    }
    std::vector<std::uint8_t> &volume = insertion.Volume == TargetVolume::Pei ? pei : dxe;
    const std::size_t at = AppendToVolume(volume, insertion.File);
    const std::span<std::uint8_t> file =
        std::span(volume).subspan(at, ParseFile(insertion.File).Size);
    if (insertion.Apriori) {
      const std::optional<std::size_t> body = Pe32Body(file);
      if (!body) {
        throw FfsError("file " + FormatGuid(ParseFile(file).Name) +
                       " has no PE32 section to run in place");
      }
      const std::uint64_t base = PeiVolumeBase(volumes.Pei());
      RebasePeImage(file.subspan(*body), base + at + *body);
      RefreshChecksums(file);
      apriori.push_back(ParseFile(file).Name);
    }
  }
  if (!apriori.empty()) {
    ExtendApriori(pei, apriori);
  }
  std::copy(pei.begin(), pei.end(), volumes.Pei().begin());
  std::copy(dxe.begin(), dxe.end(), volumes.Dxe().begin());
}

} // namespace

CompressedVolumes OpenCompressedVolumes(std::span<const std::uint8_t> image) {
  const VolumeContents outer = ReadVolume(image);
  CompressedVolumes volumes;
  volumes.Container = ContainerFile(outer);
  if (outer.Files.back().Offset != volumes.Container.Offset) {
    throw FfsError("the firmware-volume-image file is not the last file of the first volume, so "
                   "it cannot change size");
  }
  const std::span<const std::uint8_t> file =
      image.subspan(volumes.Container.Offset, volumes.Container.Size);
  const ParsedFile parsed = ParseFile(file);
  if (parsed.Sections.size() != 1 || !IsType(parsed.Sections[0].Type, SectionType::GuidDefined)) {
    throw FfsError("the firmware-volume-image file should hold exactly one GUID-defined section");
  }
  const FileSection &section = parsed.Sections[0];
  GuidDefinedSectionHeader header;
  if (section.Body.size() + sizeof(SectionHeader) < sizeof(header)) {
    throw FfsError("the GUID-defined section is too short for its header");
  }
  std::memcpy(&header, file.data() + section.Offset, sizeof(header));
  Guid processing;
  std::copy(std::begin(header.SectionDefinitionGuid), std::end(header.SectionDefinitionGuid),
            processing.Bytes.begin());
  if (processing != kLzmaSectionGuid || header.DataOffset != sizeof(header) ||
      (header.Attributes & kGuidedSectionAuthStatusValid) != 0) {
    throw FfsError("the GUID-defined section is " + FormatGuid(processing) +
                   " with data at offset " + std::to_string(header.DataOffset) +
                   "; expected LZMA (" + FormatGuid(kLzmaSectionGuid) +
                   ") with data right after the 24-byte header and no authentication");
  }
  volumes.DataStart = volumes.Container.Offset + section.Offset + sizeof(header);
  volumes.Data = LzmaDecompress(image.subspan(
      volumes.DataStart, section.Body.size() + sizeof(SectionHeader) - sizeof(header)));
  const auto found = VolumeSections(volumes.Data);
  if (found.size() != 2) {
    throw FfsError("the compressed section holds " + std::to_string(found.size()) +
                   " volumes; expected two, the PEI volume and the DXE volume");
  }
  std::tie(volumes.PeiOffset, volumes.PeiSize) = found[0];
  std::tie(volumes.DxeOffset, volumes.DxeSize) = found[1];
  ReadVolume(volumes.Pei());
  ReadVolume(volumes.Dxe());
  return volumes;
}

std::vector<std::uint8_t> InsertIntoImage(std::span<const std::uint8_t> image,
                                          std::span<const Insertion> insertions,
                                          std::uint32_t preset) {
  CompressedVolumes volumes = OpenCompressedVolumes(image);
  PlaceFiles(volumes, insertions);

  GuidDefinedSectionHeader header{};
  const std::vector<std::uint8_t> stream = LzmaCompress(volumes.Data, preset);
  std::copy(kLzmaSectionGuid.Bytes.begin(), kLzmaSectionGuid.Bytes.end(),
            header.SectionDefinitionGuid);
  header.DataOffset = sizeof(header);
  header.Attributes = kGuidedSectionProcessingRequired;
  header.Common.Type = static_cast<std::uint8_t>(SectionType::GuidDefined);
  const std::size_t sectionSize = sizeof(header) + stream.size();
  if (sectionSize >= kMaxSectionSize) {
    throw FfsError("the recompressed section is " + std::to_string(sectionSize) +
                   " bytes, more than a section header can give");
  }
  for (int i = 0; i < 3; ++i) {
    header.Common.Size[i] = static_cast<std::uint8_t>(sectionSize >> (8 * i));
  }

  const std::size_t at = volumes.Container.Offset;
  const std::size_t fileSize = sizeof(FileHeader) + sectionSize;
  const std::size_t outerLength = ReadVolume(image).Length;
  if (at + fileSize > outerLength) {
    throw FfsError("the recompressed volumes (" + std::to_string(fileSize) +
                   " bytes) no longer fit the first volume (" + std::to_string(outerLength - at) +
                   " bytes from the file on); try a higher --preset");
  }
  std::vector<std::uint8_t> result(image.begin(), image.end());
  std::fill(result.begin() + static_cast<std::ptrdiff_t>(at),
            result.begin() + static_cast<std::ptrdiff_t>(outerLength), kErasedByte);
  std::copy(image.begin() + static_cast<std::ptrdiff_t>(at),
            image.begin() + static_cast<std::ptrdiff_t>(at + sizeof(FileHeader)),
            result.begin() + static_cast<std::ptrdiff_t>(at));
  const auto *raw = reinterpret_cast<const std::uint8_t *>(&header);
  std::copy(raw, raw + sizeof(header),
            result.begin() + static_cast<std::ptrdiff_t>(at + sizeof(FileHeader)));
  std::copy(stream.begin(), stream.end(),
            result.begin() + static_cast<std::ptrdiff_t>(at + sizeof(FileHeader) + sizeof(header)));
  const std::span<std::uint8_t> file = std::span(result).subspan(at, fileSize);
  for (int i = 0; i < 3; ++i) {
    file[offsetof(FileHeader, Size) + i] = static_cast<std::uint8_t>(fileSize >> (8 * i));
  }
  RefreshChecksums(file);
  return result;
}

std::uint64_t PeiVolumeBase(std::span<const std::uint8_t> volume) {
  // Images that were only copied in (to be shadowed) keep their link-time base; the images that
  // run in place all name the same volume address, so the address most of them name wins.
  std::map<std::uint64_t, std::size_t> votes;
  for (const VolumeFile &file : ReadVolume(volume).Files) {
    if (!FileIsValid(file.State)) {
      continue;
    }
    const std::span<const std::uint8_t> bytes = volume.subspan(file.Offset, file.Size);
    if (const std::optional<std::size_t> body = Pe32Body(bytes)) {
      ++votes[PeImageBase(bytes.subspan(*body)) - file.Offset - *body];
    }
  }
  const auto best = std::max_element(
      votes.begin(), votes.end(), [](const auto &a, const auto &b) { return a.second < b.second; });
  if (best == votes.end() || best->second < 2) {
    throw FfsError("the PEI volume has fewer than two PE32 images that agree on where it runs; it "
                   "cannot take an image that runs in place");
  }
  return best->first;
}

std::vector<Guid> AprioriList(std::span<const std::uint8_t> volume) {
  std::vector<Guid> list;
  for (const VolumeFile &file : ReadVolume(volume).Files) {
    if (file.Name != kPeiAprioriFileGuid || !FileIsValid(file.State)) {
      continue;
    }
    for (const FileSection &section : ParseFile(volume.subspan(file.Offset, file.Size)).Sections) {
      if (!IsType(section.Type, SectionType::Raw)) {
        continue;
      }
      for (std::size_t at = 0; at + 16 <= section.Body.size(); at += 16) {
        Guid name;
        std::copy_n(section.Body.begin() + static_cast<std::ptrdiff_t>(at), 16, name.Bytes.begin());
        list.push_back(name);
      }
    }
  }
  return list;
}

} // namespace fwfile
