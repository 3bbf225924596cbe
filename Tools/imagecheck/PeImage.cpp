#include "PeImage.h"

#include <array>
#include <fstream>
#include <iterator>

namespace imagecheck {
namespace {

constexpr std::size_t kDosLfanewOffset = 0x3C;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kRelocBlockHeaderSize = 8;

// Bounds-checked little-endian reads from the file.
class Reader {
public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::uint64_t Read(std::size_t offset, std::size_t width, const char *what) const {
    if (offset > bytes_.size() || width > bytes_.size() - offset) {
      throw PeFormatError(std::string(what) + " lies past the end of the file");
    }
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;) {
      value = value << 8 | bytes_[offset + i];
    }
    return value;
  }
  std::uint16_t U16(std::size_t offset, const char *what) const {
    return static_cast<std::uint16_t>(Read(offset, 2, what));
  }
  std::uint32_t U32(std::size_t offset, const char *what) const {
    return static_cast<std::uint32_t>(Read(offset, 4, what));
  }
  std::uint64_t U64(std::size_t offset, const char *what) const { return Read(offset, 8, what); }

private:
  std::span<const std::uint8_t> bytes_;
};

// Offsets within the optional header that differ between PE32 and PE32+.
struct OptionalLayout {
  std::size_t ImageBase;
  std::size_t ImageBaseWidth;
  std::size_t NumberOfRvaAndSizes;
};
constexpr OptionalLayout kPe32Layout{28, 4, 92};
constexpr OptionalLayout kPe32PlusLayout{24, 8, 108};

// IMAGE_DEBUG_DIRECTORY entries (28 bytes) and the RSDS record of a CodeView entry.
constexpr std::size_t kDebugEntrySize = 28;
constexpr std::uint32_t kDebugTypeCodeView = 2;
constexpr std::uint32_t kRsdsSignature = 0x53445352; // "RSDS"
constexpr std::size_t kRsdsPathOffset = 24;

std::optional<CodeViewRecord> ParseCodeView(const Reader &reader, const PeImage &image) {
  const DataDirectory debug = image.DirectoryAt(Directory::Debug);
  const Section *section = image.SectionAt(debug.Rva);
  if (debug.Size == 0 || section == nullptr) {
    return std::nullopt;
  }
  const std::size_t entries = section->RawPointer + (debug.Rva - section->VirtualAddress);
  for (std::size_t at = entries; at < entries + debug.Size; at += kDebugEntrySize) {
    if (reader.U32(at + 12, "debug directory entry") != kDebugTypeCodeView) {
      continue;
    }
    const std::size_t record = reader.U32(at + 24, "debug directory entry");
    if (reader.U32(record, "CodeView record") != kRsdsSignature) {
      throw PeFormatError("the CodeView debug entry is not an RSDS record");
    }
    CodeViewRecord codeView;
    for (std::size_t i = 0; i < codeView.Signature.size(); ++i) {
      codeView.Signature[i] = static_cast<std::uint8_t>(reader.Read(record + 4 + i, 1, "RSDS"));
    }
    codeView.Age = reader.U32(record + 20, "CodeView record");
    for (std::size_t i = record + kRsdsPathOffset;; ++i) {
      const auto c = static_cast<char>(reader.Read(i, 1, "CodeView PDB path"));
      if (c == '\0') {
        break;
      }
      codeView.PdbPath.push_back(c);
    }
    return codeView;
  }
  return std::nullopt;
}

std::string SectionName(const Reader &reader, std::size_t offset) {
  std::string name;
  for (std::size_t i = 0; i < 8; ++i) {
    const auto c = static_cast<char>(reader.Read(offset + i, 1, "section name"));
    if (c == '\0') {
      break;
    }
    name.push_back(c);
  }
  return name;
}

void CheckSections(const PeImage &image) {
  std::uint64_t previous_end = image.SizeOfHeaders;
  for (const Section &section : image.Sections) {
    if (section.RawSize != 0 &&
        std::uint64_t{section.RawPointer} + section.RawSize > image.FileSize) {
      throw PeFormatError("section " + section.Name + " has raw data past the end of the file");
    }
    if (section.VirtualAddress < previous_end) {
      throw PeFormatError("section " + section.Name + " overlaps what precedes it");
    }
    previous_end = std::uint64_t{section.VirtualAddress} + section.VirtualSize;
  }
  if (previous_end > image.SizeOfImage) {
    throw PeFormatError("sections extend past SizeOfImage");
  }
}

// Maps an RVA range to file offsets through the section that holds it.
std::size_t FileOffsetOf(const PeImage &image, std::uint32_t rva, std::uint32_t size,
                         const char *what) {
  const Section *section = image.SectionAt(rva);
  if (section == nullptr ||
      std::uint64_t{rva} + size > std::uint64_t{section->VirtualAddress} + section->RawSize) {
    throw PeFormatError(std::string(what) + " is not backed by section data");
  }
  return std::size_t{section->RawPointer} + (rva - section->VirtualAddress);
}

std::vector<BaseRelocation> ParseRelocations(const Reader &reader, const PeImage &image) {
  std::vector<BaseRelocation> relocations;
  const DataDirectory directory = image.DirectoryAt(Directory::BaseRelocation);
  if (directory.Size == 0) {
    return relocations;
  }
  const std::size_t start =
      FileOffsetOf(image, directory.Rva, directory.Size, "base relocation directory");
  std::size_t offset = 0;
  while (offset < directory.Size) {
    if (directory.Size - offset < kRelocBlockHeaderSize) {
      throw PeFormatError("base relocation block header is cut off");
    }
    const std::uint32_t page = reader.U32(start + offset, "base relocation page");
    const std::uint32_t block_size = reader.U32(start + offset + 4, "base relocation block size");
    if (block_size < kRelocBlockHeaderSize || block_size % 2 != 0 ||
        block_size > directory.Size - offset) {
      throw PeFormatError("base relocation block has a bad size");
    }
    for (std::size_t entry = kRelocBlockHeaderSize; entry < block_size; entry += 2) {
      const std::uint16_t value = reader.U16(start + offset + entry, "base relocation entry");
      const auto type = static_cast<std::uint8_t>(value >> 12);
      if (type != kRelocAbsolute) {
        relocations.push_back({page + (value & 0x0FFFu), type});
      }
    }
    offset += block_size;
  }
  return relocations;
}

} // namespace

bool Section::Contains(std::uint32_t rva) const {
  const std::uint32_t size = VirtualSize != 0 ? VirtualSize : RawSize;
  return rva >= VirtualAddress && rva - VirtualAddress < size;
}

DataDirectory PeImage::DirectoryAt(Directory index) const {
  const auto i = static_cast<std::size_t>(index);
  return i < Directories.size() ? Directories[i] : DataDirectory{};
}

const Section *PeImage::SectionAt(std::uint32_t rva) const {
  for (const Section &section : Sections) {
    if (section.Contains(rva)) {
      return &section;
    }
  }
  return nullptr;
}

PeImage ParsePeImage(std::span<const std::uint8_t> bytes) {
  const Reader reader(bytes);
  PeImage image;
  image.FileSize = bytes.size();
  if (reader.U16(0, "DOS header") != 0x5A4D) {
    throw PeFormatError("no MZ signature");
  }
  const std::uint32_t pe = reader.U32(kDosLfanewOffset, "DOS header");
  if (reader.U32(pe, "PE signature") != 0x00004550) {
    throw PeFormatError("no PE signature at the offset the DOS header gives");
  }
  const std::size_t coff = pe + 4;
  image.Machine = reader.U16(coff, "COFF header");
  const std::uint16_t section_count = reader.U16(coff + 2, "COFF header");
  const std::uint16_t optional_size = reader.U16(coff + 16, "COFF header");
  image.Characteristics = reader.U16(coff + 18, "COFF header");

  const std::size_t optional = coff + kCoffHeaderSize;
  image.Magic = reader.U16(optional, "optional header");
  const OptionalLayout *layout = nullptr;
  if (image.Magic == kMagicPe32) {
    layout = &kPe32Layout;
  } else if (image.Magic == kMagicPe32Plus) {
    layout = &kPe32PlusLayout;
  } else {
    throw PeFormatError("optional header magic is neither PE32 nor PE32+");
  }
  if (optional_size < layout->NumberOfRvaAndSizes + 4) {
    throw PeFormatError("optional header is too small for its format");
  }
  image.EntryPointRva = reader.U32(optional + 16, "optional header");
  image.ImageBase =
      reader.Read(optional + layout->ImageBase, layout->ImageBaseWidth, "optional header");
  image.SectionAlignment = reader.U32(optional + 32, "optional header");
  image.FileAlignment = reader.U32(optional + 36, "optional header");
  image.SizeOfImage = reader.U32(optional + 56, "optional header");
  image.SizeOfHeaders = reader.U32(optional + 60, "optional header");
  image.Subsystem = reader.U16(optional + 68, "optional header");
  image.DllCharacteristics = reader.U16(optional + 70, "optional header");

  const std::uint32_t directory_count =
      reader.U32(optional + layout->NumberOfRvaAndSizes, "optional header");
  const std::size_t directories = optional + layout->NumberOfRvaAndSizes + 4;
  if (std::uint64_t{directory_count} * 8 > optional_size - (directories - optional)) {
    throw PeFormatError("data directories do not fit in the optional header");
  }
  for (std::uint32_t i = 0; i < directory_count; ++i) {
    image.Directories.push_back({reader.U32(directories + 8 * i, "data directory"),
                                 reader.U32(directories + 8 * i + 4, "data directory")});
  }

  const std::size_t table = optional + optional_size;
  for (std::uint16_t i = 0; i < section_count; ++i) {
    const std::size_t header = table + kSectionHeaderSize * i;
    Section section;
    section.Name = SectionName(reader, header);
    section.VirtualSize = reader.U32(header + 8, "section header");
    section.VirtualAddress = reader.U32(header + 12, "section header");
    section.RawSize = reader.U32(header + 16, "section header");
    section.RawPointer = reader.U32(header + 20, "section header");
    section.Characteristics = reader.U32(header + 36, "section header");
    image.Sections.push_back(std::move(section));
  }
  CheckSections(image);
  image.Relocations = ParseRelocations(reader, image);
  image.CodeView = ParseCodeView(reader, image);
  return image;
}

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) {
    throw std::runtime_error("cannot open " + path.string());
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(in.tellg()));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()))) {
    throw std::runtime_error("cannot read " + path.string());
  }
  return bytes;
}

const char *MachineName(std::uint16_t machine) {
  switch (machine) {
  case kMachineI386:
    return "IA32";
  case kMachineAmd64:
    return "X64";
  default:
    return "unknown";
  }
}

const char *SubsystemName(std::uint16_t subsystem) {
  switch (subsystem) {
  case kSubsystemEfiApplication:
    return "EFI application";
  case kSubsystemEfiBootServiceDriver:
    return "EFI boot service driver";
  case 12:
    return "EFI runtime driver";
  default:
    return "not EFI";
  }
}

const char *DirectoryName(std::size_t index) {
  static constexpr std::array<const char *, 16> kNames = {
      "export",          "import",       "resource",     "exception",      "security",
      "base relocation", "debug",        "architecture", "global pointer", "TLS",
      "load config",     "bound import", "IAT",          "delay import",   "CLR",
      "reserved"};
  return index < kNames.size() ? kNames[index] : "unknown";
}

std::string SectionFlagNames(std::uint32_t characteristics) {
  static constexpr std::array<std::pair<std::uint32_t, const char *>, 7> kFlags = {{
      {kSectionCode, "code"},
      {kSectionInitializedData, "data"},
      {kSectionUninitializedData, "bss"},
      {kSectionDiscardable, "discardable"},
      {kSectionExecute, "execute"},
      {kSectionRead, "read"},
      {kSectionWrite, "write"},
  }};
  std::string names;
  for (const auto &[flag, name] : kFlags) {
    if ((characteristics & flag) != 0) {
      names += names.empty() ? "" : ", ";
      names += name;
    }
  }
  return names;
}

} // namespace imagecheck
