// ffstool: writes the firmware-file forms of the modules.
//   ffstool file   -o OUT --type PEIM|DRIVER|SMM --guid GUID --image IMAGE.efi
//                  [--depex EXPR] --name UI-NAME --version TEXT [--build N]
//   ffstool depex  -o OUT EXPR          the compiled expression alone (for binary INF files)
//   ffstool volume -o OUT [--block-size N] FILE.ffs...
//   ffstool freeform -o OUT --guid GUID --raw DATA   a FREEFORM file holding DATA in a RAW section
//   ffstool insert -o OUT --image FIRMWARE.fd [--preset N] pei:FILE.ffs|pei-apriori:FILE.ffs|
//                  dxe:FILE.ffs...    files added to an OVMF-style image's PEI and DXE volumes
#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>
#include <map>

#include "Depex.h"
#include "FfsFile.h"
#include "FirmwareImage.h"
#include "FirmwareVolume.h"
#include "PeImage.h"

namespace {

void WriteFile(const std::string &path, const std::vector<std::uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    throw std::runtime_error(path + ": cannot be written; check that its folder exists");
  }
}

const std::map<std::string, fwfile::FileType> kFileTypes = {{"PEIM", fwfile::FileType::Peim},
                                                            {"DRIVER", fwfile::FileType::Driver},
                                                            {"SMM", fwfile::FileType::Smm}};

fwfile::Guid ParseGuidOption(const std::string &text) {
  const std::optional<fwfile::Guid> guid = fwfile::ParseGuid(text);
  if (!guid) {
    throw std::runtime_error("--guid " + text +
                             ": not a GUID; write it as XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX");
  }
  return *guid;
}

// "pei:FILE", "pei-apriori:FILE" or "dxe:FILE".
fwfile::Insertion ParseInsertion(const std::string &text) {
  static const std::map<std::string, std::pair<fwfile::TargetVolume, bool>> kKinds = {
      {"pei", {fwfile::TargetVolume::Pei, false}},
      {"pei-apriori", {fwfile::TargetVolume::Pei, true}},
      {"dxe", {fwfile::TargetVolume::Dxe, false}}};
  const std::size_t colon = text.find(':');
  const auto kind = colon == std::string::npos ? kKinds.end() : kKinds.find(text.substr(0, colon));
  if (kind == kKinds.end()) {
    throw std::runtime_error(text + ": write pei:FILE.ffs, pei-apriori:FILE.ffs or dxe:FILE.ffs");
  }
  fwfile::Insertion insertion;
  std::tie(insertion.Volume, insertion.Apriori) = kind->second;
  insertion.File = imagecheck::ReadFileBytes(text.substr(colon + 1));
  return insertion;
}

} // namespace

int main(int argc, char **argv) {
  CLI::App app{"Builds FFS2 files and firmware volumes (PI specification, volume 3)"};
  app.require_subcommand(1);

  std::string output;
  fwfile::FileType type = fwfile::FileType::Driver;
  std::string guidText, imagePath, depexText, uiName, version;
  std::uint16_t build = 0;
  CLI::App *file = app.add_subcommand("file", "one module file: dependency, PE32, UI, version");
  file->add_option("-o,--output", output, "the .ffs file to write")->required();
  file->add_option("--type", type, "PEIM, DRIVER or SMM")
      ->required()
      ->transform(CLI::CheckedTransformer(kFileTypes));
  file->add_option("--guid", guidText, "the file name GUID, registry form")->required();
  file->add_option("--image", imagePath, "the module's PE/COFF image")->required();
  file->add_option("--depex", depexText,
                   "postfix dependency expression, e.g. \"PUSH G1 PUSH G2 AND\"");
  file->add_option("--name", uiName, "the user interface name")->required();
  file->add_option("--version", version, "the version text")->required();
  file->add_option("--build", build, "the version section's build number");

  CLI::App *depex = app.add_subcommand("depex", "a compiled dependency expression alone");
  depex->add_option("-o,--output", output, "the .depex file to write")->required();
  depex->add_option("expression", depexText, "postfix dependency expression")->required();

  std::vector<std::string> inputs;
  std::uint32_t blockSize = 0x1000;
  CLI::App *volume = app.add_subcommand("volume", "a firmware volume holding FFS files");
  volume->add_option("-o,--output", output, "the volume file to write")->required();
  volume->add_option("--block-size", blockSize, "bytes per block of the block map");
  volume->add_option("files", inputs, "the .ffs files, in volume order")->required();

  std::string rawPath;
  CLI::App *freeform =
      app.add_subcommand("freeform", "a FREEFORM file holding any data in a RAW section");
  freeform->add_option("-o,--output", output, "the .ffs file to write")->required();
  freeform->add_option("--guid", guidText, "the file name GUID, registry form")->required();
  freeform->add_option("--raw", rawPath, "the data, e.g. a firmware volume")->required();

  std::string firmwarePath;
  std::uint32_t preset = 6;
  std::vector<std::string> additions;
  CLI::App *insert = app.add_subcommand(
      "insert", "FFS files added to the PEI and DXE volumes of a firmware "
                "image laid out as OVMF's (compressed volumes in the first one)");
  insert->add_option("-o,--output", output, "the firmware image to write")->required();
  insert->add_option("--image", firmwarePath, "the firmware image to start from")->required();
  insert->add_option("--preset", preset, "xz preset (0-9) for the recompression");
  insert->add_option("files", additions,
                     "pei:F.ffs (shadowed PEIM), pei-apriori:F.ffs (runs in place, dispatched "
                     "first), dxe:F.ffs; in this order (none: only recompress)");

  CLI11_PARSE(app, argc, argv);
  try {
    if (file->parsed()) {
      fwfile::FileSpec spec;
      spec.Name = ParseGuidOption(guidText);
      spec.Type = type;
      spec.Pe32 = imagecheck::ReadFileBytes(imagePath);
      // A PEIM runs where it lies in flash, so its image must sit at its section alignment;
      // drivers are copied to memory by the loader.
      if (type == fwfile::FileType::Peim) {
        spec.Pe32Alignment = imagecheck::ParsePeImage(spec.Pe32).SectionAlignment;
      }
      if (!depexText.empty()) {
        spec.Depex = fwfile::CompileDepex(depexText);
      }
      spec.UserInterface = uiName;
      spec.Version = version;
      spec.BuildNumber = build;
      WriteFile(output, fwfile::BuildFile(spec));
    } else if (freeform->parsed()) {
      WriteFile(output, fwfile::BuildSectionFile(
                            ParseGuidOption(guidText), fwfile::FileType::Freeform,
                            fwfile::SectionType::Raw, imagecheck::ReadFileBytes(rawPath)));
    } else if (insert->parsed()) {
      std::vector<fwfile::Insertion> insertions;
      for (const std::string &addition : additions) {
        insertions.push_back(ParseInsertion(addition));
      }
      WriteFile(output, fwfile::InsertIntoImage(imagecheck::ReadFileBytes(firmwarePath), insertions,
                                                preset));
    } else if (depex->parsed()) {
      WriteFile(output, fwfile::CompileDepex(depexText));
    } else {
      std::vector<std::vector<std::uint8_t>> files;
      for (const std::string &input : inputs) {
        files.push_back(imagecheck::ReadFileBytes(input));
      }
      WriteFile(output, fwfile::BuildVolume(files, blockSize));
    }
  } catch (const std::exception &error) {
    std::cerr << "ffstool: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
