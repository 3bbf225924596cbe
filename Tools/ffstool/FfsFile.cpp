#include "FfsFile.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace fwfile {
namespace {

std::uint8_t Sum8(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

void PutSize24(std::uint8_t *field, std::size_t size) {
  field[0] = static_cast<std::uint8_t>(size);
  field[1] = static_cast<std::uint8_t>(size >> 8);
  field[2] = static_cast<std::uint8_t>(size >> 16);
}

std::size_t GetSize24(const std::uint8_t *field) {
  return field[0] | std::size_t(field[1]) << 8 | std::size_t(field[2]) << 16;
}

std::size_t AlignUp(std::size_t value, std::size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

std::vector<std::uint8_t> Ucs2(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  for (const char c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c));
    bytes.push_back(0);
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// The file data (everything after the file header) as sections are appended to it.
class SectionWriter {
public:
  void Append(SectionType type, std::span<const std::uint8_t> body) {
    data_.resize(AlignUp(data_.size(), kSectionAlignment), 0);
    SectionHeader header{};
    PutSize24(header.Size, sizeof(header) + body.size());
    header.Type = static_cast<std::uint8_t>(type);
    const auto *raw = reinterpret_cast<const std::uint8_t *>(&header);
    data_.insert(data_.end(), raw, raw + sizeof(header));
    data_.insert(data_.end(), body.begin(), body.end());
  }

  // Adds a raw section if needed so that the next section's body starts at a multiple of
  // alignment from the start of the file data.
  void PadForBody(std::size_t alignment) {
    const std::size_t next = AlignUp(data_.size(), kSectionAlignment);
    if ((next + sizeof(SectionHeader)) % alignment == 0) {
      return;
    }
    // The padding section is at least its own header.
    const std::size_t body =
        AlignUp(next + 2 * sizeof(SectionHeader), alignment) - next - 2 * sizeof(SectionHeader);
    Append(SectionType::Raw, std::vector<std::uint8_t>(body, 0));
  }

  const std::vector<std::uint8_t> &Data() const { return data_; }

private:
  std::vector<std::uint8_t> data_;
};

// The header's size, checksums and state for the given file data, then the data.
std::vector<std::uint8_t> FinishFile(FileHeader header, std::span<const std::uint8_t> data) {
  const std::size_t size = sizeof(FileHeader) + data.size();
  if (size > kMaxFileSize) {
    throw FfsError("the file would be " + std::to_string(size) +
                   " bytes; an FFS2 file holds at most 16 MiB");
  }
  PutSize24(header.Size, size);
  std::vector<std::uint8_t> file(sizeof(header));
  std::memcpy(file.data(), &header, sizeof(header));
  file.insert(file.end(), data.begin(), data.end());
  file[offsetof(FileHeader, State)] = kStateValidErasePolarity1;
  RefreshChecksums(file);
  return file;
}

std::uint8_t AlignmentAttribute(std::uint32_t alignment) {
  for (std::uint8_t code = 0; code < std::size(kDataAlignments); ++code) {
    if (kDataAlignments[code] >= alignment) {
      return static_cast<std::uint8_t>(code << kAttribDataAlignmentShift);
    }
  }
  throw FfsError("an image alignment of " + std::to_string(alignment) +
                 " bytes is more than an FFS2 file can express (64 KiB)");
}

struct TypeName {
  std::uint8_t Type;
  std::string_view Name;
};

template <typename Enum> constexpr TypeName Named(Enum type, std::string_view name) {
  return {static_cast<std::uint8_t>(type), name};
}

constexpr TypeName kFileTypeNames[] = {
    Named(FileType::Raw, "RAW"),
    Named(FileType::Freeform, "FREEFORM"),
    Named(FileType::SecurityCore, "SEC_CORE"),
    Named(FileType::PeiCore, "PEI_CORE"),
    Named(FileType::DxeCore, "DXE_CORE"),
    Named(FileType::Peim, "PEIM"),
    Named(FileType::Driver, "DRIVER"),
    Named(FileType::Application, "APPLICATION"),
    Named(FileType::Smm, "SMM"),
    Named(FileType::FirmwareVolumeImage, "FV_IMAGE"),
    Named(FileType::CombinedSmmDxe, "SMM_DXE"),
    Named(FileType::SmmCore, "SMM_CORE"),
    Named(FileType::Pad, "FFS_PAD"),
};
constexpr TypeName kSectionTypeNames[] = {
    Named(SectionType::Pe32, "PE32"),
    Named(SectionType::DxeDepex, "DXE_DEPEX"),
    Named(SectionType::Version, "VERSION"),
    Named(SectionType::UserInterface, "UI"),
    Named(SectionType::Raw, "RAW"),
    Named(SectionType::PeiDepex, "PEI_DEPEX"),
    Named(SectionType::SmmDepex, "SMM_DEPEX"),
};

std::string_view Lookup(std::span<const TypeName> names, std::uint8_t type) {
  const auto found = std::find_if(names.begin(), names.end(),
                                  [type](const TypeName &n) { return n.Type == type; });
  return found != names.end() ? found->Name : "UNKNOWN";
}

} // namespace

SectionType DepexSectionFor(FileType type) {
  switch (type) {
  case FileType::Peim:
    return SectionType::PeiDepex;
  case FileType::Driver:
    return SectionType::DxeDepex;
  case FileType::Smm:
    return SectionType::SmmDepex;
  default:
    throw FfsError("a " + std::string(FileTypeName(static_cast<std::uint8_t>(type))) +
                   " file has no dependency expression section");
  }
}

std::vector<std::uint8_t> BuildFile(const FileSpec &spec) {
  if (spec.Pe32Alignment == 0 || (spec.Pe32Alignment & (spec.Pe32Alignment - 1)) != 0) {
    throw FfsError("image alignment " + std::to_string(spec.Pe32Alignment) +
                   " is not a power of two");
  }
  FileHeader header{};
  std::copy(spec.Name.Bytes.begin(), spec.Name.Bytes.end(), header.Name);
  header.Type = static_cast<std::uint8_t>(spec.Type);
  header.Attributes = AlignmentAttribute(spec.Pe32Alignment) | kAttribChecksum;

  SectionWriter sections;
  if (!spec.Depex.empty()) {
    sections.Append(DepexSectionFor(spec.Type), spec.Depex);
  }
  sections.PadForBody(spec.Pe32Alignment);
  sections.Append(SectionType::Pe32, spec.Pe32);
  sections.Append(SectionType::UserInterface, Ucs2(spec.UserInterface));
  std::vector<std::uint8_t> version = {static_cast<std::uint8_t>(spec.BuildNumber),
                                       static_cast<std::uint8_t>(spec.BuildNumber >> 8)};
  const std::vector<std::uint8_t> versionText = Ucs2(spec.Version);
  version.insert(version.end(), versionText.begin(), versionText.end());
  sections.Append(SectionType::Version, version);

  return FinishFile(header, sections.Data());
}

std::vector<std::uint8_t> BuildSectionFile(const Guid &name, FileType type, SectionType section,
                                           std::span<const std::uint8_t> body) {
  FileHeader header{};
  std::copy(name.Bytes.begin(), name.Bytes.end(), header.Name);
  header.Type = static_cast<std::uint8_t>(type);
  header.Attributes = kAttribChecksum;
  SectionWriter sections;
  sections.Append(section, body);
  return FinishFile(header, sections.Data());
}

void RefreshChecksums(std::span<std::uint8_t> file) {
  FileHeader header;
  std::memcpy(&header, file.data(), sizeof(header));
  const std::size_t size = GetSize24(header.Size);
  const std::uint8_t state = header.State;
  header.State = 0;
  header.HeaderChecksum = 0;
  header.FileChecksum = 0;
  header.HeaderChecksum = static_cast<std::uint8_t>(
      -Sum8({reinterpret_cast<const std::uint8_t *>(&header), sizeof(header)}));
  header.FileChecksum = (header.Attributes & kAttribChecksum) != 0
                            ? static_cast<std::uint8_t>(-Sum8(file.subspan(24, size - 24)))
                            : kFixedFileChecksum;
  header.State = state;
  std::memcpy(file.data(), &header, sizeof(header));
}

ParsedFile ParseFile(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < sizeof(FileHeader)) {
    throw FfsError("only " + std::to_string(bytes.size()) +
                   " bytes: too short for an FFS file header (24)");
  }
  FileHeader header;
  std::memcpy(&header, bytes.data(), sizeof(header));
  ParsedFile file;
  std::copy(std::begin(header.Name), std::end(header.Name), file.Name.Bytes.begin());
  file.Type = header.Type;
  file.Attributes = header.Attributes;
  file.State = header.State;
  file.Size = GetSize24(header.Size);
  file.DataAlignment =
      kDataAlignments[(header.Attributes & kAttribDataAlignmentMask) >> kAttribDataAlignmentShift];
  if (file.Size < sizeof(FileHeader) || file.Size > bytes.size()) {
    throw FfsError("the header gives a file size of " + std::to_string(file.Size) + " bytes, but " +
                   std::to_string(bytes.size()) + " bytes are there");
  }
  FileHeader summed = header;
  summed.State = 0;
  summed.FileChecksum = 0;
  file.HeaderChecksumValid =
      Sum8({reinterpret_cast<const std::uint8_t *>(&summed), sizeof(summed)}) == 0;
  const std::span<const std::uint8_t> data = bytes.subspan(sizeof(FileHeader), file.Size - 24);
  file.DataChecksumValid = (header.Attributes & kAttribChecksum) != 0
                               ? static_cast<std::uint8_t>(Sum8(data) + header.FileChecksum) == 0
                               : header.FileChecksum == kFixedFileChecksum;

  // Pad and raw files hold bytes, not sections.
  const bool sectioned = file.Type != static_cast<std::uint8_t>(FileType::Pad) &&
                         file.Type != static_cast<std::uint8_t>(FileType::Raw);
  for (std::size_t at = sizeof(FileHeader); sectioned && at + sizeof(SectionHeader) <= file.Size;
       at = AlignUp(at, kSectionAlignment)) {
    const std::size_t size = GetSize24(bytes.data() + at);
    if (size < sizeof(SectionHeader) || at + size > file.Size) {
      throw FfsError("the section at offset " + std::to_string(at) + " gives a size of " +
                     std::to_string(size) + " bytes, which does not fit the file");
    }
    file.Sections.push_back(
        {bytes[at + 3], at,
         bytes.subspan(at + sizeof(SectionHeader), size - sizeof(SectionHeader))});
    at += size;
  }
  return file;
}

std::string_view FileTypeName(std::uint8_t type) {
  return Lookup(kFileTypeNames, type);
}
std::string_view SectionTypeName(std::uint8_t type) {
  return Lookup(kSectionTypeNames, type);
}

std::string Ucs2Text(std::span<const std::uint8_t> body) {
  std::string text;
  for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
    const unsigned unit = body[i] | unsigned(body[i + 1]) << 8;
    if (unit == 0) {
      break;
    }
    text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  }
  return text;
}

} // namespace fwfile
