// FFS2 files (PI volume 3, 2.2): a module file built from its image, dependency expression, user
// interface name and version, and the reader that takes one apart again.
#pragma once
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "FfsLayout.h"
#include "Guid.h"

namespace fwfile {

struct FfsError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct FileSpec {
  Guid Name;
  FileType Type = FileType::Driver;
  std::vector<std::uint8_t> Pe32;
  // Where the image must lie in a volume, for modules that execute in place (1: anywhere).
  std::uint32_t Pe32Alignment = 1;
  std::vector<std::uint8_t> Depex; // compiled expression; empty for none
  std::string UserInterface;
  std::string Version;
  std::uint16_t BuildNumber = 0;
};

// Sections in the order dependency expression, (padding,) PE32, user interface, version. The file
// carries a data checksum, the data alignment its image needs, and the state of a valid file in a
// volume with erase polarity 1, so that it can be copied into such a volume as it is.
std::vector<std::uint8_t> BuildFile(const FileSpec &spec);

// A file of one section, e.g. an apriori file (FREEFORM with a RAW section).
std::vector<std::uint8_t> BuildSectionFile(const Guid &name, FileType type, SectionType section,
                                           std::span<const std::uint8_t> body);

// Recomputes the header and data checksums of a file whose bytes changed (State is kept).
void RefreshChecksums(std::span<std::uint8_t> file);

struct FileSection {
  std::uint8_t Type = 0;
  std::size_t Offset = 0; // of the section header, from the start of the file
  std::span<const std::uint8_t> Body;
};

struct ParsedFile {
  Guid Name;
  std::uint8_t Type = 0;
  std::uint8_t Attributes = 0;
  std::uint8_t State = 0;
  std::size_t Size = 0;
  std::uint32_t DataAlignment = 1;
  bool HeaderChecksumValid = false;
  bool DataChecksumValid = false;
  std::vector<FileSection> Sections;
};

// Throws FfsError when the header or a section does not fit the bytes.
ParsedFile ParseFile(std::span<const std::uint8_t> bytes);

// The section type that holds a file type's dependency expression.
SectionType DepexSectionFor(FileType type);
std::string_view FileTypeName(std::uint8_t type);
std::string_view SectionTypeName(std::uint8_t type);
// The text of a user interface section body, or of a version section body after its build number.
std::string Ucs2Text(std::span<const std::uint8_t> body);

} // namespace fwfile
