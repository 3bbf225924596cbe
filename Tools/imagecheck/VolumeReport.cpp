#include "VolumeReport.h"

#include <iomanip>
#include <optional>
#include <string>

#include "FfsFile.h"
#include "FirmwareImage.h"
#include "FirmwareVolume.h"
#include "ImageReport.h"
#include "PeImage.h"

namespace imagecheck {
namespace {

std::string NameOf(const fwfile::Guid &guid) {
  const std::optional<std::string_view> name = fwfile::GuidName(guid);
  return fwfile::FormatGuid(guid) + (name ? " " + std::string(*name) : std::string());
}

// "  PEIM     681566C6-... "BoardInfoPei"  2432 bytes, PE32 base 0x847C40"
void PrintFile(std::ostream &out, std::span<const std::uint8_t> volume,
               const fwfile::VolumeFile &file) {
  out << "    " << Hex(file.Offset, 6) << ' ' << std::left << std::setw(9)
      << fwfile::FileTypeName(file.Type) << std::right << fwfile::FormatGuid(file.Name);
  std::string ui, image;
  for (const fwfile::FileSection &section :
       fwfile::ParseFile(volume.subspan(file.Offset, file.Size)).Sections) {
    if (section.Type == static_cast<std::uint8_t>(fwfile::SectionType::UserInterface)) {
      ui = " \"" + fwfile::Ucs2Text(section.Body) + "\"";
    } else if (section.Type == static_cast<std::uint8_t>(fwfile::SectionType::Pe32)) {
      image = ", PE32 base " + Hex(ParsePeImage(section.Body).ImageBase, 1);
    }
  }
  out << ui << "  " << file.Size << " bytes" << image
      << (fwfile::FileIsValid(file.State) ? "" : ", deleted or not valid") << '\n';
}

void PrintVolume(std::ostream &out, const std::string &title,
                 std::span<const std::uint8_t> volume) {
  const fwfile::VolumeContents contents = fwfile::ReadVolume(volume);
  out << "  " << title << ": " << Hex(contents.Length, 1) << " bytes, " << contents.Files.size()
      << " files, " << Hex(contents.Length - contents.FreeStart, 1) << " bytes free\n";
  const std::vector<fwfile::Guid> apriori = fwfile::AprioriList(volume);
  for (std::size_t index = 0; index < apriori.size(); ++index) {
    out << "    apriori " << index + 1 << "  " << NameOf(apriori[index]) << '\n';
  }
  for (const fwfile::VolumeFile &file : contents.Files) {
    PrintFile(out, volume, file);
  }
}

} // namespace

void PrintVolumeReport(std::ostream &out, const std::filesystem::path &path,
                       std::span<const std::uint8_t> bytes) {
  out << path.filename().string() << '\n';
  PrintVolume(out, "volume at 0x0", bytes);
  fwfile::CompressedVolumes volumes;
  try {
    volumes = fwfile::OpenCompressedVolumes(bytes);
  } catch (const std::exception &error) {
    out << "  (no compressed PEI and DXE volumes: " << error.what() << ")\n";
    return;
  }
  std::string runsAt;
  try {
    runsAt = ", runs at " + Hex(fwfile::PeiVolumeBase(volumes.Pei()), 1);
  } catch (const std::exception &) {
  }
  PrintVolume(out, "PEI volume (compressed" + runsAt + ")", volumes.Pei());
  PrintVolume(out, "DXE volume (compressed)", volumes.Dxe());
}

} // namespace imagecheck
