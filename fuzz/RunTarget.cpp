#include "Targets.h"

#include "Board/BoardParser.h"
#include "Core/Simulator.h"
#include "Report/BoardErrors.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace boardsim::fuzz {
namespace {

// The base boards, parsed once per process; a base board that does not load is a broken
// checkout, not a finding.
const Board &BaseBoard(std::string_view file) {
  static std::map<std::string, Board, std::less<>> boards;
  auto found = boards.find(file);
  if (found != boards.end())
    return found->second;
  std::string path = std::string(BOARDFW_BOARDS_DIR) + "/" + std::string(file);
  LoadResult loaded = LoadBoardFile(path);
  if (!loaded.board) {
    std::fprintf(stderr, "fuzz: the base board %s does not load:\n%s", path.c_str(),
                 RenderBoardErrors(loaded.errors).c_str());
    std::abort();
  }
  return boards.emplace(std::string(file), std::move(*loaded.board)).first->second;
}

} // namespace

void RunTarget(const Target &target, std::span<const uint8_t> input) {
  if (target.baseBoard.empty()) {
    std::string_view text(reinterpret_cast<const char *>(input.data()), input.size());
    LoadResult loaded = ParseBoardText(text, "fuzz.toml");
    RenderBoardErrors(loaded.errors);
    return;
  }
  Board board = BaseBoard(target.baseBoard);
  ByteReader reader(input.data(), input.size());
  target.apply(reader, board);
  Simulator sim(board);
  sim.Run();
}

} // namespace boardsim::fuzz
