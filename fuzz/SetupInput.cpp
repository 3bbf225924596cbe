#include "Targets.h"

namespace boardsim::fuzz {
namespace {

constexpr size_t kMaxSetupSize = 0x100000; // the largest `size` a board file may give

// The input is the whole variable; an empty input leaves it absent.
void Apply(ByteReader &input, Board &board) {
  Bytes data = input.TakeBytes(kMaxSetupSize);
  board.setup.present = !data.empty();
  board.setup.data = std::move(data);
}

void Seeds(std::string_view, const Board &board, std::vector<Bytes> &out) {
  if (board.setup.present)
    out.push_back(board.setup.data);
}

} // namespace

const Target kSetupTarget{"setup", "default.toml", Apply, Seeds};

} // namespace boardsim::fuzz
