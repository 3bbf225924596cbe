#include "Targets.h"

namespace boardsim::fuzz {
namespace {

void Seeds(std::string_view text, const Board &, std::vector<Bytes> &out) {
  out.emplace_back(text.begin(), text.end());
}

} // namespace

const Target kBoardTextTarget{"board-text", "", nullptr, Seeds};

} // namespace boardsim::fuzz
