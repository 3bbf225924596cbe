// A reader for the PE/COFF images the firmware build produces (PE32 and PE32+, Microsoft PE/COFF
// specification): headers, section table, data directories and base relocations.
#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace imagecheck {

struct PeFormatError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kMagicPe32 = 0x010B;
inline constexpr std::uint16_t kMagicPe32Plus = 0x020B;
inline constexpr std::uint16_t kSubsystemEfiApplication = 10;
inline constexpr std::uint16_t kSubsystemEfiBootServiceDriver = 11;

inline constexpr std::uint32_t kSectionCode = 0x00000020;
inline constexpr std::uint32_t kSectionInitializedData = 0x00000040;
inline constexpr std::uint32_t kSectionUninitializedData = 0x00000080;
inline constexpr std::uint32_t kSectionDiscardable = 0x02000000;
inline constexpr std::uint32_t kSectionExecute = 0x20000000;
inline constexpr std::uint32_t kSectionRead = 0x40000000;
inline constexpr std::uint32_t kSectionWrite = 0x80000000;

// Data directory indices of the optional header.
enum class Directory : std::size_t {
  Export = 0,
  Import = 1,
  Resource = 2,
  Exception = 3,
  Security = 4,
  BaseRelocation = 5,
  Debug = 6,
};

// Base relocation types that occur in 32- and 64-bit images.
inline constexpr std::uint8_t kRelocAbsolute = 0; // padding at the end of a block
inline constexpr std::uint8_t kRelocHighLow = 3;
inline constexpr std::uint8_t kRelocDir64 = 10;

struct Section {
  std::string Name;
  std::uint32_t VirtualSize = 0;
  std::uint32_t VirtualAddress = 0;
  std::uint32_t RawSize = 0;
  std::uint32_t RawPointer = 0;
  std::uint32_t Characteristics = 0;

  bool Has(std::uint32_t flag) const { return (Characteristics & flag) == flag; }
  // Whether the RVA lies in the section's memory image.
  bool Contains(std::uint32_t rva) const;
};

struct DataDirectory {
  std::uint32_t Rva = 0;
  std::uint32_t Size = 0;
};

struct BaseRelocation {
  std::uint32_t Rva = 0;
  std::uint8_t Type = 0;
};

// The CodeView (RSDS) record a debug directory entry points at: how a debugger finds the PDB.
struct CodeViewRecord {
  std::array<std::uint8_t, 16> Signature{};
  std::uint32_t Age = 0;
  std::string PdbPath;
};

struct PeImage {
  std::uint64_t FileSize = 0;
  std::uint16_t Machine = 0;
  std::uint16_t Characteristics = 0;
  std::uint16_t Magic = 0;
  std::uint32_t EntryPointRva = 0;
  std::uint64_t ImageBase = 0;
  std::uint32_t SectionAlignment = 0;
  std::uint32_t FileAlignment = 0;
  std::uint32_t SizeOfImage = 0;
  std::uint32_t SizeOfHeaders = 0;
  std::uint16_t Subsystem = 0;
  std::uint16_t DllCharacteristics = 0;
  std::vector<DataDirectory> Directories;
  std::vector<Section> Sections;
  // Every entry of the base relocation directory except block padding.
  std::vector<BaseRelocation> Relocations;
  // From the debug directory's CodeView entry, when the image has one.
  std::optional<CodeViewRecord> CodeView;

  // The directory, or an empty one when the header has fewer entries.
  DataDirectory DirectoryAt(Directory index) const;
  // The section whose memory image holds the RVA, or nullptr.
  const Section *SectionAt(std::uint32_t rva) const;
};

// Parses an image; throws PeFormatError when a header, the section table or the relocation
// directory is truncated, points outside the file or is inconsistent.
PeImage ParsePeImage(std::span<const std::uint8_t> bytes);

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path &path);

const char *MachineName(std::uint16_t machine);
const char *SubsystemName(std::uint16_t subsystem);
const char *DirectoryName(std::size_t index);
// "code, execute, read" style list of the section flags this tool knows.
std::string SectionFlagNames(std::uint32_t characteristics);

} // namespace imagecheck
