// The PE/COFF reader against images whose contents are known (the relocation fixture, built by
// the firmware image build for both architectures), and against damaged copies of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "ImageReport.h"
#include "LinkMap.h"
#include "PeImage.h"

namespace {

using namespace imagecheck;

struct Fixture {
  const char *Stem;
  std::uint16_t Machine;
  std::uint16_t Magic;
  std::size_t PointerSize;
  std::uint8_t RelocationType;
  const char *SymbolPrefix; // cdecl decoration of C names on IA32
};

constexpr Fixture kFixtures[] = {
    {"ImageCheckFixtureX64", kMachineAmd64, kMagicPe32Plus, 8, kRelocDir64, ""},
    {"ImageCheckFixtureIa32", kMachineI386, kMagicPe32, 4, kRelocHighLow, "_"},
};

void PrintTo(const Fixture &fixture, std::ostream *out) {
  *out << fixture.Stem;
}

struct Loaded {
  std::vector<std::uint8_t> Bytes;
  std::string Map;
};

Loaded LoadFixture(const Fixture &fixture) {
  const std::filesystem::path dir = FIRMWARE_IMAGE_DIR;
  Loaded loaded;
  loaded.Bytes = ReadFileBytes(dir / (std::string(fixture.Stem) + ".efi"));
  std::ifstream map(dir / (std::string(fixture.Stem) + ".map"));
  std::ostringstream text;
  text << map.rdbuf();
  loaded.Map = text.str();
  return loaded;
}

std::uint32_t ReadU32(const std::vector<std::uint8_t> &bytes, std::size_t offset) {
  return bytes.at(offset) | bytes.at(offset + 1) << 8 | bytes.at(offset + 2) << 16 |
         std::uint32_t{bytes.at(offset + 3)} << 24;
}

void WriteU32(std::vector<std::uint8_t> &bytes, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

void WriteU16(std::vector<std::uint8_t> &bytes, std::size_t offset, std::uint16_t value) {
  bytes.at(offset) = static_cast<std::uint8_t>(value);
  bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

// File offsets of the header fields the damage cases change (PE/COFF specification layout).
struct HeaderOffsets {
  std::size_t Pe;
  std::size_t Optional;
  std::size_t DirectoryCount;
  std::size_t SectionTable;
};

HeaderOffsets OffsetsOf(const std::vector<std::uint8_t> &bytes, const PeImage &image) {
  HeaderOffsets offsets{};
  offsets.Pe = ReadU32(bytes, 0x3C);
  offsets.Optional = offsets.Pe + 24;
  offsets.DirectoryCount = offsets.Optional + (image.Magic == kMagicPe32Plus ? 108 : 92);
  const std::uint16_t optional_size = bytes.at(offsets.Pe + 20) | bytes.at(offsets.Pe + 21) << 8;
  offsets.SectionTable = offsets.Optional + optional_size;
  return offsets;
}

class PeReader : public testing::TestWithParam<Fixture> {
protected:
  void SetUp() override {
    ASSERT_NO_THROW(loaded_ = LoadFixture(GetParam()));
    ASSERT_NO_THROW(image_ = ParsePeImage(loaded_.Bytes));
  }

  std::uint32_t SymbolRvaOf(const std::string &name) const {
    const std::string decorated = GetParam().SymbolPrefix + name;
    const std::optional<MapSymbol> symbol = FindMapSymbol(loaded_.Map, decorated);
    EXPECT_TRUE(symbol) << decorated << " is not in the link map";
    const std::optional<std::uint32_t> rva = symbol ? SymbolRva(image_, *symbol) : std::nullopt;
    return rva.value_or(0);
  }

  Loaded loaded_;
  PeImage image_;
};

TEST_P(PeReader, ReadsTheHeadersTheBuildAskedFor) {
  EXPECT_EQ(image_.Machine, GetParam().Machine);
  EXPECT_EQ(image_.Magic, GetParam().Magic);
  EXPECT_EQ(image_.Subsystem, kSubsystemEfiBootServiceDriver);
  EXPECT_EQ(image_.FileSize, loaded_.Bytes.size());
  EXPECT_EQ(image_.EntryPointRva, SymbolRvaOf("_ModuleEntryPoint"));
  EXPECT_EQ(image_.SectionAlignment, 32u);
  EXPECT_EQ(image_.FileAlignment, 32u);
}

// The relocations the reader finds are exactly where the address table lies, and the addresses
// stored there are those of the functions the table names.
TEST_P(PeReader, FindsTheRelocationsOfTheAddressTable) {
  const std::uint32_t table = SymbolRvaOf("mFixtureTable");
  const std::uint32_t first = SymbolRvaOf("FixtureFirst");
  const std::uint32_t second = SymbolRvaOf("FixtureSecond");
  const std::uint32_t expected_targets[] = {first, second, first};
  const std::size_t width = GetParam().PointerSize;

  for (std::size_t slot = 0; slot < 3; ++slot) {
    const std::uint32_t rva = table + static_cast<std::uint32_t>(slot * width);
    SCOPED_TRACE(testing::Message() << "table slot " << slot);
    const auto found = std::find_if(image_.Relocations.begin(), image_.Relocations.end(),
                                    [rva](const BaseRelocation &r) { return r.Rva == rva; });
    ASSERT_NE(found, image_.Relocations.end());
    EXPECT_EQ(found->Type, GetParam().RelocationType);

    const Section *section = image_.SectionAt(rva);
    ASSERT_NE(section, nullptr);
    std::uint64_t stored = 0;
    for (std::size_t i = width; i-- > 0;) {
      stored =
          stored << 8 | loaded_.Bytes.at(section->RawPointer + rva - section->VirtualAddress + i);
    }
    EXPECT_EQ(stored, image_.ImageBase + expected_targets[slot]);
  }
}

TEST_P(PeReader, RejectsEveryTruncatedCopy) {
  for (std::size_t size = 0; size < loaded_.Bytes.size(); ++size) {
    const std::span<const std::uint8_t> prefix(loaded_.Bytes.data(), size);
    EXPECT_THROW(ParsePeImage(prefix), PeFormatError) << "accepted the first " << size << " bytes";
  }
}

TEST_P(PeReader, RejectsDamagedHeadersAndTables) {
  const HeaderOffsets at = OffsetsOf(loaded_.Bytes, image_);
  const DataDirectory relocations = image_.DirectoryAt(Directory::BaseRelocation);
  const Section *reloc_section = image_.SectionAt(relocations.Rva);
  ASSERT_NE(reloc_section, nullptr);
  const std::size_t first_block =
      reloc_section->RawPointer + (relocations.Rva - reloc_section->VirtualAddress);

  const std::vector<std::pair<const char *, std::function<void(std::vector<std::uint8_t> &)>>>
      damages = {
          {"MZ signature", [](auto &b) { b[0] = 'X'; }},
          {"PE offset past the end",
           [](auto &b) { WriteU32(b, 0x3C, static_cast<std::uint32_t>(b.size())); }},
          {"PE signature", [&](auto &b) { b[at.Pe + 2] = 1; }},
          {"optional header magic", [&](auto &b) { WriteU16(b, at.Optional, 0x030B); }},
          {"optional header size below its format", [&](auto &b) { WriteU16(b, at.Pe + 20, 64); }},
          {"more data directories than fit",
           [&](auto &b) { WriteU32(b, at.DirectoryCount, 1000); }},
          {"first section's raw data past the end",
           [&](auto &b) {
             WriteU32(b, at.SectionTable + 20, static_cast<std::uint32_t>(b.size()));
           }},
          {"first section over the headers",
           [&](auto &b) { WriteU32(b, at.SectionTable + 12, 0); }},
          // Size 0 would never advance the walk.
          {"relocation block of size zero", [&](auto &b) { WriteU32(b, first_block + 4, 0); }},
          {"relocation block shorter than its header",
           [&](auto &b) { WriteU32(b, first_block + 4, 4); }},
          {"relocation block longer than the directory",
           [&](auto &b) { WriteU32(b, first_block + 4, relocations.Size + 2); }},
          {"relocation directory outside every section",
           [&](auto &b) {
             const std::size_t directory = at.DirectoryCount + 4 + 8 * 5;
             WriteU32(b, directory, image_.SizeOfImage + 0x1000);
           }},
      };
  for (const auto &[what, damage] : damages) {
    std::vector<std::uint8_t> copy = loaded_.Bytes;
    damage(copy);
    EXPECT_THROW(ParsePeImage(copy), PeFormatError) << "accepted damage: " << what;
  }
}

TEST_P(PeReader, MatchesWholeSymbolNamesOnly) {
  const std::string entry = std::string(GetParam().SymbolPrefix) + "_ModuleEntryPoint";
  EXPECT_TRUE(FindMapSymbol(loaded_.Map, entry));
  EXPECT_FALSE(FindMapSymbol(loaded_.Map, entry.substr(1)));
  EXPECT_FALSE(FindMapSymbol(loaded_.Map, entry + "X"));
  EXPECT_FALSE(
      SymbolRva(image_, MapSymbol{static_cast<std::uint32_t>(image_.Sections.size() + 1), 0}));
  EXPECT_FALSE(SymbolRva(image_, MapSymbol{0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Architectures, PeReader, testing::ValuesIn(kFixtures),
                         [](const testing::TestParamInfo<Fixture> &info) {
                           return std::string(info.param.Stem);
                         });

TEST(ImageSizeReport, FlagsOnlyImagesOverTheirBudget) {
  EXPECT_EQ(SizeLine("BoardInfoPei.efi", 3072).find("OVER BUDGET"), std::string::npos);
  EXPECT_NE(SizeLine("BoardInfoPei.efi", 3073).find("OVER BUDGET"), std::string::npos);
  EXPECT_NE(SizeLine("BoardInfoDxe.efi", 4097).find("OVER BUDGET"), std::string::npos);
  EXPECT_EQ(SizeLine("S3SaveSmm.efi", 16384).find("OVER BUDGET"), std::string::npos);
  EXPECT_NE(SizeLine("QemuHarness.efi", 1 << 20).find("no budget"), std::string::npos);
}

} // namespace
