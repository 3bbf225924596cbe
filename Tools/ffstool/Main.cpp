// ffstool: writes the firmware-file forms of the modules.
//   ffstool file   -o OUT --type PEIM|DRIVER|SMM --guid GUID --image IMAGE.efi
//                  [--depex EXPR] --name UI-NAME --version TEXT [--build N]
//   ffstool depex  -o OUT EXPR          the compiled expression alone (for binary INF files)
//   ffstool volume -o OUT [--block-size N] FILE.ffs...
#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>
#include <map>

#include "Depex.h"
#include "FfsFile.h"
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

  CLI11_PARSE(app, argc, argv);
  try {
    if (file->parsed()) {
      fwfile::FileSpec spec;
      const std::optional<fwfile::Guid> name = fwfile::ParseGuid(guidText);
      if (!name) {
        throw std::runtime_error("--guid " + guidText +
                                 ": not a GUID; write it as XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX");
      }
      spec.Name = *name;
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
