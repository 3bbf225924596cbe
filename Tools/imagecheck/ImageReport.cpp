#include "ImageReport.h"

#include <iomanip>
#include <sstream>

#include "ImageBudget.h"
#include "LinkMap.h"

namespace imagecheck {

std::string Hex(std::uint64_t value, int digits) {
  std::ostringstream text;
  text << "0x" << std::uppercase << std::hex << std::setw(digits) << std::setfill('0') << value;
  return text.str();
}

namespace {

std::string EntryLine(const PeImage &image, const std::optional<std::string> &map_text) {
  std::string line = Hex(image.EntryPointRva, 8);
  if (!map_text) {
    return line + " (no link map)";
  }
  const std::string_view name = EntrySymbolName(image.Machine);
  const std::optional<MapSymbol> symbol = FindMapSymbol(*map_text, name);
  const std::optional<std::uint32_t> rva = symbol ? SymbolRva(image, *symbol) : std::nullopt;
  if (!rva) {
    return line + " (" + std::string(name) + " not in the link map)";
  }
  return line + (*rva == image.EntryPointRva ? " = " : " != ") + std::string(name) + " at " +
         Hex(*rva, 8);
}

} // namespace

std::string SizeLine(const std::string &file_name, std::uint64_t size) {
  std::ostringstream line;
  line << std::left << std::setw(24) << file_name << std::right << std::setw(7) << size << " bytes";
  if (const std::optional<std::uint64_t> budget = ImageBudget(file_name)) {
    line << " of " << *budget << " (" << size * 100 / *budget << "%, "
         << (size <= *budget ? std::to_string(*budget - size) + " left)"
                             : std::to_string(size - *budget) + " OVER BUDGET)");
  } else {
    line << " (no budget)";
  }
  return line.str();
}

void PrintImageReport(std::ostream &out, const std::filesystem::path &path, const PeImage &image,
                      const std::optional<std::string> &map_text) {
  out << path.filename().string() << '\n';
  out << "  machine       " << Hex(image.Machine, 4) << " (" << MachineName(image.Machine) << ")\n";
  out << "  format        " << (image.Magic == kMagicPe32Plus ? "PE32+" : "PE32") << '\n';
  out << "  subsystem     " << image.Subsystem << " (" << SubsystemName(image.Subsystem) << ")\n";
  out << "  entry point   " << EntryLine(image, map_text) << '\n';
  out << "  image base    " << Hex(image.ImageBase, image.Magic == kMagicPe32Plus ? 16 : 8) << '\n';
  out << "  alignment     section " << image.SectionAlignment << ", file " << image.FileAlignment
      << '\n';
  out << "  sections\n";
  for (const Section &section : image.Sections) {
    out << "    " << std::left << std::setw(8) << section.Name << std::right << " rva "
        << Hex(section.VirtualAddress, 8) << "  virtual " << std::setw(6) << section.VirtualSize
        << "  raw " << std::setw(6) << section.RawSize << "  " << Hex(section.Characteristics, 8)
        << " (" << SectionFlagNames(section.Characteristics) << ")\n";
  }
  out << "  directories\n";
  for (std::size_t i = 0; i < image.Directories.size(); ++i) {
    const DataDirectory &directory = image.Directories[i];
    if (directory.Size != 0) {
      out << "    " << std::left << std::setw(16) << DirectoryName(i) << std::right << " rva "
          << Hex(directory.Rva, 8) << "  size " << directory.Size << '\n';
    }
  }
  out << "  relocations   " << image.Relocations.size() << '\n';
  out << "  debug         "
      << (image.CodeView ? "CodeView RSDS " + image.CodeView->PdbPath + " (age " +
                               std::to_string(image.CodeView->Age) + ")"
                         : std::string("no CodeView entry"))
      << '\n';
  out << "  size          " << SizeLine(path.filename().string(), image.FileSize) << '\n';
}

} // namespace imagecheck
