#include "FfsReport.h"

#include <iomanip>

#include "Depex.h"
#include "FfsFile.h"
#include "ImageReport.h"
#include "PeImage.h"

namespace imagecheck {
namespace {

bool IsDepex(std::uint8_t type) {
  using fwfile::SectionType;
  return type == static_cast<std::uint8_t>(SectionType::PeiDepex) ||
         type == static_cast<std::uint8_t>(SectionType::DxeDepex) ||
         type == static_cast<std::uint8_t>(SectionType::SmmDepex);
}

std::string GuidWithName(const fwfile::Guid &guid) {
  const std::optional<std::string_view> name = fwfile::GuidName(guid);
  return name ? std::string(*name) + " (" + fwfile::FormatGuid(guid) + ")"
              : fwfile::FormatGuid(guid);
}

// What follows a section's size on its line.
std::string SectionSummary(const fwfile::FileSection &section) {
  switch (static_cast<fwfile::SectionType>(section.Type)) {
  case fwfile::SectionType::Pe32: {
    const PeImage image = ParsePeImage(section.Body);
    return std::string(image.Magic == kMagicPe32Plus ? "PE32+ " : "PE32 ") +
           MachineName(image.Machine) +
           (image.CodeView ? ", PDB " + image.CodeView->PdbPath : std::string(", no PDB entry"));
  }
  case fwfile::SectionType::UserInterface:
    return "\"" + fwfile::Ucs2Text(section.Body) + "\"";
  case fwfile::SectionType::Version:
    if (section.Body.size() < 2) {
      return "(no build number)";
    }
    return "build " + std::to_string(section.Body[0] | section.Body[1] << 8) + " \"" +
           fwfile::Ucs2Text(section.Body.subspan(2)) + "\"";
  default:
    return "";
  }
}

} // namespace

void PrintFfsReport(std::ostream &out, const std::filesystem::path &path,
                    std::span<const std::uint8_t> bytes) {
  const fwfile::ParsedFile file = fwfile::ParseFile(bytes);
  out << path.filename().string() << '\n';
  out << "  file GUID     " << fwfile::FormatGuid(file.Name) << '\n';
  out << "  type          " << Hex(file.Type, 2) << " (" << fwfile::FileTypeName(file.Type)
      << ")\n";
  out << "  size          " << file.Size << " bytes, data aligned to " << file.DataAlignment
      << '\n';
  out << "  attributes    " << Hex(file.Attributes, 2)
      << ((file.Attributes & fwfile::kAttribChecksum) != 0 ? " (data checksum)" : "") << '\n';
  out << "  checksums     header " << (file.HeaderChecksumValid ? "valid" : "INVALID") << ", data "
      << (file.DataChecksumValid ? "valid" : "INVALID") << '\n';
  out << "  state         " << Hex(file.State, 2)
      << (file.State == fwfile::kStateValidErasePolarity1
              ? " (valid, erase polarity 1)"
              : " (not a valid file at erase polarity 1)")
      << '\n';
  out << "  sections\n";
  for (const fwfile::FileSection &section : file.Sections) {
    out << "    " << Hex(section.Offset, 4) << ' ' << std::left << std::setw(10)
        << fwfile::SectionTypeName(section.Type) << std::right << std::setw(6)
        << section.Body.size() << " bytes";
    const std::string summary = SectionSummary(section);
    out << (summary.empty() ? "" : "  ") << summary << '\n';
    if (IsDepex(section.Type)) {
      for (const fwfile::DepexStep &step : fwfile::DecodeDepex(section.Body)) {
        out << "        " << fwfile::DepexOpName(step.Op)
            << (step.Operand ? " " + GuidWithName(*step.Operand) : std::string()) << '\n';
      }
    }
  }
}

} // namespace imagecheck
