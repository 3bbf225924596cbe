// fuzz-seeds OUT BOARD...: writes the seed corpus of every fuzz target, one folder per target
// under OUT, one file per input a board gives (named after the board), and OUT/<target>.list,
// the comma-separated list of those files that libFuzzer's -seed_inputs=@FILE reads.
#include "Targets.h"

#include "Board/BoardParser.h"
#include "Report/BoardErrors.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace fs = std::filesystem;
using namespace boardsim;
using namespace boardsim::fuzz;

int main(int argc, char **argv) {
  if (argc < 3) {
    std::cerr << "usage: fuzz-seeds OUT_FOLDER BOARD.toml...\n";
    return 1;
  }
  const fs::path out = argv[1];
  std::vector<std::string> lists(std::size(kTargets));
  for (const Target *target : kTargets) {
    fs::remove_all(out / target->name);
    fs::create_directories(out / target->name);
  }
  for (int i = 2; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    LoadResult loaded = ParseBoardText(text.str(), argv[i]);
    if (!loaded.board) {
      std::cerr << RenderBoardErrors(loaded.errors);
      return 1;
    }
    for (size_t t = 0; t < std::size(kTargets); ++t) {
      std::vector<Bytes> seeds;
      kTargets[t]->seeds(text.str(), *loaded.board, seeds);
      for (size_t n = 0; n < seeds.size(); ++n) {
        fs::path path = out / kTargets[t]->name / fs::path(argv[i]).stem();
        path += "-" + std::to_string(n);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(seeds[n].data()),
                   static_cast<std::streamsize>(seeds[n].size()));
        lists[t] += (lists[t].empty() ? "" : ",") + fs::absolute(path).string();
      }
    }
  }
  for (size_t t = 0; t < std::size(kTargets); ++t)
    std::ofstream(out / (std::string(kTargets[t]->name) + ".list")) << lists[t];
  return 0;
}
