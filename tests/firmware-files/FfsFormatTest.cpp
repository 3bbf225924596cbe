// The writer's own guarantees that an outside parser does not check for us: dependency
// expressions that a dispatcher could not evaluate are refused, an image that runs in place lands
// on its alignment wherever the volume puts its file, and a damaged file is noticed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "Depex.h"
#include "FfsFile.h"
#include "FirmwareVolume.h"

namespace {

using namespace fwfile;

constexpr std::string_view kGuidText = "1D201C8B-19AB-4A54-99C4-07F0F0E3BBAD";

TEST(DependencyExpression, RefusesWhatADispatcherCouldNotEvaluate) {
  const char *const bad[] = {
      "",                                               // no value at all
      "AND",                                            // nothing to combine
      "PUSH PCD_PROTOCOL_GUID PUSH PCD_PPI_GUID",       // two values left
      "PUSH NO_SUCH_GUID",                              // unknown name
      "PUSH 1D201C8B-19AB-4A54-99C4",                   // cut-off GUID text
      "PUSH",                                           // operand missing
      "TRUE SOR",                                       // SOR only first
      "BEFORE PCD_PROTOCOL_GUID PUSH PCD_PPI_GUID AND", // BEFORE stands alone
      "PUSH PCD_PPI_GUID END",                          // END is the writer's
  };
  for (const char *text : bad) {
    EXPECT_THROW(CompileDepex(text), DepexError) << text;
  }
}

TEST(DependencyExpression, DecodesWhatItCompiled) {
  const std::vector<std::uint8_t> bytes =
      CompileDepex("SOR PUSH PCD_PROTOCOL_GUID NOT PUSH " + std::string(kGuidText) + " OR");
  ASSERT_EQ(bytes.size(), 1 + 17 + 1 + 17 + 1 + 1u);
  const std::vector<DepexStep> steps = DecodeDepex(bytes);
  ASSERT_EQ(steps.size(), 6u);
  EXPECT_EQ(steps[0].Op, DepexOp::Sor);
  EXPECT_EQ(GuidName(*steps[1].Operand), "PCD_PROTOCOL_GUID");
  EXPECT_EQ(FormatGuid(*steps[3].Operand), kGuidText);
  EXPECT_EQ(steps[5].Op, DepexOp::End);

  // Cut inside a GUID, without END, with bytes after END, and with an unknown opcode.
  EXPECT_THROW(DecodeDepex(std::span(bytes).first(10)), DepexError);
  EXPECT_THROW(DecodeDepex(std::span(bytes).first(bytes.size() - 1)), DepexError);
  std::vector<std::uint8_t> trailing = bytes;
  trailing.push_back(0x06);
  EXPECT_THROW(DecodeDepex(trailing), DepexError);
  EXPECT_THROW(DecodeDepex(std::vector<std::uint8_t>{0x0A, 0x08}), DepexError);
}

FileSpec PeimSpec(std::size_t imageSize, std::uint32_t alignment) {
  FileSpec spec;
  spec.Name = *ParseGuid(kGuidText);
  spec.Type = FileType::Peim;
  spec.Pe32.assign(imageSize, 0x5A);
  spec.Pe32Alignment = alignment;
  spec.Depex = CompileDepex("PUSH PCD_PPI_GUID");
  spec.UserInterface = "Peim";
  spec.Version = "1.0";
  return spec;
}

// Offset of the PE32 body within a volume.
std::size_t Pe32BodyIn(const std::vector<std::uint8_t> &volume,
                       const std::vector<std::uint8_t> &file) {
  const auto at = std::search(volume.begin(), volume.end(), file.begin(), file.begin() + 24);
  const ParsedFile parsed = ParseFile(file);
  for (const FileSection &section : parsed.Sections) {
    if (section.Type == static_cast<std::uint8_t>(SectionType::Pe32)) {
      return static_cast<std::size_t>(at - volume.begin()) + section.Offset + 4;
    }
  }
  ADD_FAILURE() << "no PE32 section";
  return 0;
}

TEST(ExecuteInPlaceImage, LandsOnItsAlignmentWhateverPrecedesItsFile) {
  for (const std::uint32_t alignment : {32u, 64u, 4096u}) {
    // Files of every length modulo 8 in front shift the module's file through every position.
    for (std::size_t before = 1; before <= 16; ++before) {
      FileSpec other = PeimSpec(before, 1);
      other.Name.Bytes[0] ^= 1;
      const std::vector<std::uint8_t> module = BuildFile(PeimSpec(100, alignment));
      const std::vector<std::vector<std::uint8_t>> files = {BuildFile(other), module};
      const std::vector<std::uint8_t> volume = BuildVolume(files, 0x1000);
      EXPECT_EQ(Pe32BodyIn(volume, module) % alignment, 0u)
          << "alignment " << alignment << ", " << before << " image bytes before";
      EXPECT_EQ(volume.size() % 0x1000, 0u);
    }
  }
}

TEST(FfsFileReader, NoticesDamageAndTruncation) {
  std::vector<std::uint8_t> file = BuildFile(PeimSpec(64, 32));
  ParsedFile parsed = ParseFile(file);
  EXPECT_TRUE(parsed.HeaderChecksumValid);
  EXPECT_TRUE(parsed.DataChecksumValid);

  file[file.size() - 1] ^= 0x01;
  EXPECT_FALSE(ParseFile(file).DataChecksumValid);
  file[18] = static_cast<std::uint8_t>(FileType::Driver); // type changed behind the checksum
  EXPECT_FALSE(ParseFile(file).HeaderChecksumValid);
  EXPECT_THROW(ParseFile(std::span(file).first(file.size() - 1)), FfsError);
  // A volume takes only intact files.
  const std::vector<std::vector<std::uint8_t>> files = {file};
  EXPECT_THROW(BuildVolume(files, 0x1000), FfsError);
}

TEST(FirmwareVolume, HeaderSumsToZeroAndNamesTheFileSystem) {
  const std::vector<std::vector<std::uint8_t>> files = {BuildFile(PeimSpec(64, 32))};
  const std::vector<std::uint8_t> volume = BuildVolume(files, 0x800);
  VolumeHeader header;
  std::memcpy(&header, volume.data(), sizeof(header));
  std::uint16_t sum = 0;
  for (std::size_t at = 0; at < header.HeaderLength; at += 2) {
    sum = static_cast<std::uint16_t>(sum + (volume[at] | volume[at + 1] << 8));
  }
  EXPECT_EQ(sum, 0);
  EXPECT_EQ(header.FvLength, volume.size());
  EXPECT_EQ(std::memcmp(header.FileSystemGuid, kFileSystem2Guid.Bytes.data(), 16), 0);
  BlockMapEntry map[2];
  std::memcpy(map, volume.data() + sizeof(header), sizeof(map));
  EXPECT_EQ(std::uint64_t{map[0].NumBlocks} * map[0].Length, volume.size());
  EXPECT_EQ(map[1].NumBlocks, 0u);
  // The largest file alignment is the volume's.
  EXPECT_EQ(1u << ((header.Attributes >> kFvbAlignmentShift) & 0x1F), 128u);
  EXPECT_EQ(volume.back(), kErasedByte);
}

} // namespace
