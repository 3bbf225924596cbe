// ffstool insert on an image laid out as OVMF's, built here from scratch: files land in the free
// space of the compressed PEI and DXE volumes, which keep their sizes; an apriori file lists the
// in-place PEIMs and their images are rebased to where they run; checksums and the LZMA size
// field are right; layouts it does not understand are refused with a reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "FfsFile.h"
#include "FirmwareImage.h"
#include "FirmwareVolume.h"
#include "Lzma.h"
#include "PeImage.h"
#include "PeRebase.h"

namespace {

using namespace fwfile;

constexpr std::uint64_t kPeiBase = 0x820000;

Guid Named(std::uint8_t tag) {
  Guid guid = *ParseGuid("00000000-1111-2222-3333-444455556666");
  guid.Bytes[0] = tag;
  return guid;
}

std::vector<std::uint8_t> Fixture() {
  return imagecheck::ReadFileBytes(std::filesystem::path(FIRMWARE_IMAGE_DIR) /
                                   "ImageCheckFixtureIa32.efi");
}

std::vector<std::uint8_t> Module(std::uint8_t tag, FileType type) {
  FileSpec spec;
  spec.Name = Named(tag);
  spec.Type = type;
  spec.Pe32 = Fixture();
  spec.Pe32Alignment = type == FileType::Peim ? 32 : 1;
  spec.UserInterface = "Module";
  spec.Version = "1.0";
  return BuildFile(spec);
}

// The volume with erased space up to size; header length, block map and checksum follow.
std::vector<std::uint8_t> Grown(std::vector<std::uint8_t> volume, std::size_t size) {
  volume.resize(size, kErasedByte);
  VolumeHeader header;
  std::memcpy(&header, volume.data(), sizeof(header));
  header.FvLength = size;
  header.Checksum = 0;
  std::memcpy(volume.data(), &header, sizeof(header));
  const BlockMapEntry map = {static_cast<std::uint32_t>(size / 0x1000), 0x1000};
  std::memcpy(volume.data() + sizeof(header), &map, sizeof(map));
  std::uint16_t sum = 0;
  for (std::size_t at = 0; at < header.HeaderLength; at += 2) {
    sum = static_cast<std::uint16_t>(sum + (volume[at] | volume[at + 1] << 8));
  }
  const std::uint16_t checksum = static_cast<std::uint16_t>(-sum);
  std::memcpy(volume.data() + offsetof(VolumeHeader, Checksum), &checksum, 2);
  return volume;
}

void AppendSection(std::vector<std::uint8_t> &data, SectionType type,
                   std::span<const std::uint8_t> body) {
  data.resize((data.size() + 3) & ~std::size_t{3}, 0);
  const std::size_t size = body.size() + 4;
  data.insert(data.end(), {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                           static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(type)});
  data.insert(data.end(), body.begin(), body.end());
}

// Offset of the PE32 section body in the file at the given volume offset.
std::size_t Pe32In(std::span<const std::uint8_t> volume, std::size_t offset) {
  for (const FileSection &section : ParseFile(volume.subspan(offset)).Sections) {
    if (section.Type == static_cast<std::uint8_t>(SectionType::Pe32)) {
      return offset + section.Offset + 4;
    }
  }
  return 0;
}

// A PEI volume with an apriori file naming PEIM 1 and two PEIMs that run in place, a DXE volume
// with one driver, compressed into the first volume of the image.
std::vector<std::uint8_t> OvmfLikeImage(std::size_t peiSize, std::uint32_t lzmaPreset = 0) {
  const Guid first = Named(1);
  std::vector<std::vector<std::uint8_t>> peiFiles = {
      BuildSectionFile(kPeiAprioriFileGuid, FileType::Freeform, SectionType::Raw, first.Bytes),
      Module(1, FileType::Peim), Module(2, FileType::Peim)};
  std::vector<std::uint8_t> pei = Grown(BuildVolume(peiFiles, 0x1000), peiSize);
  for (const VolumeFile &file : ReadVolume(pei).Files) {
    if (file.Type == static_cast<std::uint8_t>(FileType::Peim)) {
      const std::size_t body = Pe32In(pei, file.Offset);
      RebasePeImage(std::span(pei).subspan(body, Fixture().size()), kPeiBase + body);
      RefreshChecksums(std::span(pei).subspan(file.Offset, file.Size));
    }
  }
  const std::vector<std::vector<std::uint8_t>> dxeFiles = {Module(3, FileType::Driver)};
  const std::vector<std::uint8_t> dxe = Grown(BuildVolume(dxeFiles, 0x1000), 0x10000);

  std::vector<std::uint8_t> data;
  AppendSection(data, SectionType::Raw, std::vector<std::uint8_t>(0x0C, 0));
  AppendSection(data, SectionType::FirmwareVolumeImage, pei);
  AppendSection(data, SectionType::Raw, std::vector<std::uint8_t>(0x08, 0));
  AppendSection(data, SectionType::FirmwareVolumeImage, dxe);
  std::vector<std::uint8_t> body(kLzmaSectionGuid.Bytes.begin(), kLzmaSectionGuid.Bytes.end());
  body.insert(body.end(), {24, 0, static_cast<std::uint8_t>(kGuidedSectionProcessingRequired), 0});
  const std::vector<std::uint8_t> stream = LzmaCompress(data, lzmaPreset);
  body.insert(body.end(), stream.begin(), stream.end());
  const std::vector<std::vector<std::uint8_t>> outer = {
      BuildSectionFile(Named(9), FileType::FirmwareVolumeImage, SectionType::GuidDefined, body)};
  return Grown(BuildVolume(outer, 0x1000), 0x40000);
}

TEST(FirmwareImageInsertion, PlacesRebasesListsAndRecompresses) {
  const std::vector<std::uint8_t> image = OvmfLikeImage(0x10000);
  CompressedVolumes before = OpenCompressedVolumes(image);
  ASSERT_EQ(PeiVolumeBase(before.Pei()), kPeiBase);

  const std::vector<Insertion> insertions = {
      {TargetVolume::Pei, false, Module(4, FileType::Peim)},
      {TargetVolume::Pei, true, Module(5, FileType::Peim)},
      {TargetVolume::Dxe, false, Module(6, FileType::Driver)}};
  const std::vector<std::uint8_t> result = InsertIntoImage(image, insertions, 0);
  ASSERT_EQ(result.size(), image.size());
  CompressedVolumes after = OpenCompressedVolumes(result);
  EXPECT_EQ(after.PeiOffset, before.PeiOffset);
  EXPECT_EQ(after.PeiSize, before.PeiSize);
  EXPECT_EQ(after.DxeOffset, before.DxeOffset);
  EXPECT_EQ(after.DxeSize, before.DxeSize);
  // The firmware's decoder stops at the size field: it must hold the real size.
  const std::span<const std::uint8_t> stream = std::span(result).subspan(after.DataStart);
  std::uint64_t size = 0;
  std::memcpy(&size, stream.data() + 5, sizeof(size));
  EXPECT_EQ(size, after.Data.size());
  EXPECT_TRUE(ParseFile(std::span(result).subspan(after.Container.Offset)).DataChecksumValid);
  EXPECT_TRUE(ParseFile(std::span(result).subspan(after.Container.Offset)).HeaderChecksumValid);

  // The old apriori file is deleted, the new one lists PEIM 1, then the in-place addition.
  EXPECT_EQ(AprioriList(after.Pei()), (std::vector<Guid>{Named(1), Named(5)}));
  std::size_t deleted = 0;
  for (const VolumeFile &file : ReadVolume(after.Pei()).Files) {
    const ParsedFile parsed = ParseFile(after.Pei().subspan(file.Offset, file.Size));
    EXPECT_TRUE(parsed.HeaderChecksumValid && parsed.DataChecksumValid) << FormatGuid(file.Name);
    deleted += FileIsValid(file.State) ? 0 : 1;
    if (file.Name == Named(5)) {
      // Runs where it lies: based there, relocated by the difference, on its alignment.
      const std::size_t body = Pe32In(after.Pei(), file.Offset);
      const std::span<const std::uint8_t> rebased = after.Pei().subspan(body);
      EXPECT_EQ(body % 32, 0u);
      EXPECT_EQ(PeImageBase(rebased), kPeiBase + body);
      const std::vector<std::uint8_t> original = Fixture();
      const imagecheck::PeImage pe = imagecheck::ParsePeImage(original);
      ASSERT_FALSE(pe.Relocations.empty());
      for (const imagecheck::BaseRelocation &relocation : pe.Relocations) {
        std::uint32_t was, is;
        std::memcpy(&was, original.data() + relocation.Rva, 4);
        std::memcpy(&is, rebased.data() + relocation.Rva, 4);
        EXPECT_EQ(is - was, static_cast<std::uint32_t>(kPeiBase + body - pe.ImageBase));
      }
    }
    if (file.Name == Named(4)) {
      // Shadowed by the PEI core: keeps its link-time base.
      EXPECT_EQ(PeImageBase(after.Pei().subspan(Pe32In(after.Pei(), file.Offset))),
                imagecheck::ParsePeImage(Fixture()).ImageBase);
    }
  }
  EXPECT_EQ(deleted, 1u);
  const std::vector<VolumeFile> dxe = ReadVolume(after.Dxe()).Files;
  EXPECT_TRUE(std::any_of(dxe.begin(), dxe.end(), [](auto &f) { return f.Name == Named(6); }));
  // Nothing added: the same volumes again.
  EXPECT_EQ(OpenCompressedVolumes(InsertIntoImage(image, {}, 0)).Data, before.Data);
}

TEST(FirmwareImageInsertion, RefusesWhatItCannotPlace) {
  const std::vector<std::uint8_t> image = OvmfLikeImage(0x8000);
  auto refusal = [&](std::vector<Insertion> insertions) -> std::string {
    try {
      InsertIntoImage(image, insertions, 0);
    } catch (const FfsError &error) {
      return error.what();
    }
    return "accepted";
  };
  std::vector<Insertion> tooMany;
  for (int i = 0; i < 64; ++i) {
    tooMany.push_back({TargetVolume::Pei, false, Module(4, FileType::Peim)});
  }
  EXPECT_NE(refusal(tooMany).find("does not fit"), std::string::npos);
  EXPECT_NE(refusal({{TargetVolume::Dxe, true, Module(4, FileType::Driver)}}).find("apriori"),
            std::string::npos);

  // A plain volume without the compressed volumes.
  const std::vector<std::vector<std::uint8_t>> files = {Module(1, FileType::Driver)};
  EXPECT_THROW(OpenCompressedVolumes(BuildVolume(files, 0x1000)), FfsError);
  // Data where the first volume should be erased.
  std::vector<std::uint8_t> dirty = image;
  dirty[dirty.size() - 1] = 0;
  EXPECT_THROW(OpenCompressedVolumes(dirty), FfsError);
}

} // namespace
