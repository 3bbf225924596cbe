// Each module's firmware image must be what UEFI firmware loads as that kind of module: the right
// machine and PE format, a boot service driver entered at _ModuleEntryPoint, relocatable, with
// nothing to import, laid out at the alignments the build asks for, and naming its symbols.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "LinkMap.h"
#include "PeImage.h"

namespace {

using namespace imagecheck;

struct ModuleImage {
  const char *Name;
  std::uint16_t Machine;
  std::uint16_t Magic;
};

constexpr ModuleImage kModules[] = {
    {"BoardInfoDxe", kMachineAmd64, kMagicPe32Plus},
    {"BoardInfoPei", kMachineI386, kMagicPe32},
    {"S3SaveSmm", kMachineAmd64, kMagicPe32Plus},
};

void PrintTo(const ModuleImage &module, std::ostream *out) {
  *out << module.Name;
}

bool Landed(const std::string &module) {
  std::istringstream list(LANDED_IMAGES);
  std::string name;
  while (std::getline(list, name, ',')) {
    if (name == module) {
      return true;
    }
  }
  return false;
}

std::string ReadText(const std::filesystem::path &path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The built image and its link map, loaded once per test.
struct LoadedImage {
  std::vector<std::uint8_t> Bytes;
  PeImage Image;
  std::string Map;
};

LoadedImage Load(const std::string &module) {
  const std::filesystem::path dir = FIRMWARE_IMAGE_DIR;
  LoadedImage loaded;
  loaded.Bytes = ReadFileBytes(dir / (module + ".efi"));
  loaded.Image = ParsePeImage(loaded.Bytes);
  loaded.Map = ReadText(dir / (module + ".map"));
  return loaded;
}

// The pointer-sized value stored at an RVA, read from the section's file data.
std::uint64_t StoredAddress(const LoadedImage &loaded, std::uint32_t rva, std::size_t width) {
  const Section *section = loaded.Image.SectionAt(rva);
  std::uint64_t value = 0;
  const std::size_t offset = section->RawPointer + (rva - section->VirtualAddress);
  for (std::size_t i = width; i-- > 0;) {
    value = value << 8 | loaded.Bytes.at(offset + i);
  }
  return value;
}

class FirmwareImage : public testing::TestWithParam<ModuleImage> {
protected:
  void SetUp() override {
    if (!Landed(GetParam().Name)) {
      GTEST_SKIP() << GetParam().Name
                   << " has no firmware image target yet: its module has not landed";
    }
    ASSERT_NO_THROW(loaded_ = Load(GetParam().Name));
  }

  const PeImage &image() const { return loaded_.Image; }

  LoadedImage loaded_;
};

TEST_P(FirmwareImage, IsABootServiceDriverForTheModulesMachine) {
  EXPECT_EQ(image().Machine, GetParam().Machine);
  EXPECT_EQ(image().Magic, GetParam().Magic);
  EXPECT_EQ(image().Subsystem, kSubsystemEfiBootServiceDriver);
}

TEST_P(FirmwareImage, EntersAtModuleEntryPointInExecutableCode) {
  const std::string_view name = EntrySymbolName(image().Machine);
  const std::optional<MapSymbol> symbol = FindMapSymbol(loaded_.Map, name);
  ASSERT_TRUE(symbol) << name << " is missing from the link map";
  const std::optional<std::uint32_t> rva = SymbolRva(image(), *symbol);
  ASSERT_TRUE(rva) << "the link map places " << name << " in a section the image lacks";
  EXPECT_EQ(image().EntryPointRva, *rva);

  const Section *section = image().SectionAt(image().EntryPointRva);
  ASSERT_NE(section, nullptr) << "the entry point lies in no section";
  EXPECT_TRUE(section->Has(kSectionCode | kSectionExecute)) << section->Name;
}

TEST_P(FirmwareImage, RelocatesEveryStoredAddressAndImportsNothing) {
  EXPECT_NE(image().DirectoryAt(Directory::BaseRelocation).Size, 0u);
  ASSERT_FALSE(image().Relocations.empty());
  EXPECT_EQ(image().DirectoryAt(Directory::Import).Size, 0u);
  EXPECT_EQ(image().DirectoryAt(Directory::Import).Rva, 0u);

  const bool wide = image().Magic == kMagicPe32Plus;
  const std::uint8_t type = wide ? kRelocDir64 : kRelocHighLow;
  const std::size_t width = wide ? 8 : 4;
  for (const BaseRelocation &relocation : image().Relocations) {
    SCOPED_TRACE(testing::Message() << "relocation at RVA 0x" << std::hex << relocation.Rva);
    EXPECT_EQ(relocation.Type, type);
    const Section *section = image().SectionAt(relocation.Rva);
    ASSERT_NE(section, nullptr);
    ASSERT_LE(relocation.Rva + width, std::uint64_t{section->VirtualAddress} + section->RawSize)
        << "the relocated address is not in the section's file data";
    // A relocated value is an address inside this image at its preferred base.
    const std::uint64_t address = StoredAddress(loaded_, relocation.Rva, width);
    EXPECT_GE(address, image().ImageBase);
    EXPECT_LT(address - image().ImageBase, image().SizeOfImage);
  }
}

// A debugger finds the symbols from the image alone: its CodeView entry names the PDB the build
// wrote beside it (without the build folder's path), and that PDB carries the same signature.
TEST_P(FirmwareImage, NamesTheMatchingPdbInACodeViewEntry) {
  ASSERT_TRUE(image().CodeView) << "the image has no CodeView debug entry";
  const std::string pdbName = std::string(GetParam().Name) + ".pdb";
  EXPECT_EQ(image().CodeView->PdbPath, pdbName);

  const std::vector<std::uint8_t> pdb =
      ReadFileBytes(std::filesystem::path(FIRMWARE_IMAGE_DIR) / pdbName);
  constexpr std::string_view kMsfMagic = "Microsoft C/C++ MSF 7.00\r\n\x1a"
                                         "DS";
  ASSERT_GE(pdb.size(), kMsfMagic.size());
  EXPECT_TRUE(std::equal(kMsfMagic.begin(), kMsfMagic.end(), pdb.begin())) << "not an MSF 7 PDB";
  const std::array<std::uint8_t, 16> &signature = image().CodeView->Signature;
  EXPECT_NE(std::search(pdb.begin(), pdb.end(), signature.begin(), signature.end()), pdb.end())
      << pdbName << " does not carry the image's signature: it belongs to another link";
}

TEST_P(FirmwareImage, SectionsSitAtTheDeclaredAlignments) {
  EXPECT_TRUE(image().SectionAlignment == 32 || image().SectionAlignment == 4096)
      << image().SectionAlignment;
  EXPECT_EQ(image().FileAlignment, 32u);
  EXPECT_EQ(image().SizeOfImage % image().SectionAlignment, 0u);
  for (const Section &section : image().Sections) {
    EXPECT_EQ(section.VirtualAddress % image().SectionAlignment, 0u) << section.Name;
    EXPECT_EQ(section.RawPointer % image().FileAlignment, 0u) << section.Name;
    EXPECT_EQ(section.RawSize % image().FileAlignment, 0u) << section.Name;
  }
}

INSTANTIATE_TEST_SUITE_P(Modules, FirmwareImage, testing::ValuesIn(kModules),
                         [](const testing::TestParamInfo<ModuleImage> &info) {
                           return std::string(info.param.Name);
                         });

// The PEI module executes in place from flash, where nothing can be written: it may have
// uninitialised data, but no section whose written contents the image carries.
TEST(BoardInfoPeiImage, CarriesNoWritableContents) {
  if (!Landed("BoardInfoPei")) {
    GTEST_SKIP() << "BoardInfoPei has no firmware image target yet: its module has not landed";
  }
  LoadedImage loaded;
  ASSERT_NO_THROW(loaded = Load("BoardInfoPei"));
  for (const Section &section : loaded.Image.Sections) {
    EXPECT_FALSE(section.Has(kSectionWrite) && section.RawSize > 0)
        << section.Name << " is writable and has " << section.RawSize << " bytes of contents";
  }
}

} // namespace
