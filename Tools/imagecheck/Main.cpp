// imagecheck [--sizes] FILE...: prints what a firmware image's headers say (or, with --sizes,
// only each image's size against its budget); a .ffs file is shown as a firmware file, a .fv or
// .fd file as firmware volumes with their files. Exits
// non-zero if a file cannot be read or parsed.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string_view>

#include "FfsReport.h"
#include "ImageReport.h"
#include "PeImage.h"
#include "VolumeReport.h"

namespace {

std::optional<std::string> ReadMapBeside(std::filesystem::path image) {
  std::ifstream in(image.replace_extension(".map"));
  if (!in) {
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

} // namespace

int main(int argc, char **argv) {
  bool sizes_only = false;
  int first = 1;
  if (argc > 1 && std::string_view(argv[1]) == "--sizes") {
    sizes_only = true;
    first = 2;
  }
  if (first >= argc) {
    std::cerr << "usage: imagecheck [--sizes] FILE...\n";
    return 2;
  }
  int status = 0;
  for (int i = first; i < argc; ++i) {
    const std::filesystem::path path = argv[i];
    try {
      const std::vector<std::uint8_t> bytes = imagecheck::ReadFileBytes(path);
      if (sizes_only) {
        std::cout << imagecheck::SizeLine(path.filename().string(), bytes.size()) << '\n';
        continue;
      }
      if (path.extension() == ".ffs") {
        imagecheck::PrintFfsReport(std::cout, path, bytes);
        continue;
      }
      if (path.extension() == ".fv" || path.extension() == ".fd") {
        imagecheck::PrintVolumeReport(std::cout, path, bytes);
        continue;
      }
      const imagecheck::PeImage image = imagecheck::ParsePeImage(bytes);
      imagecheck::PrintImageReport(std::cout, path, image, ReadMapBeside(path));
    } catch (const std::exception &error) {
      std::cerr << path.string() << ": " << error.what() << '\n';
      status = 1;
    }
  }
  return status;
}
