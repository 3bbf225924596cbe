// libFuzzer harness: the board-file parser and the check report.
#include "Targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  boardsim::fuzz::RunTarget(boardsim::fuzz::kBoardTextTarget, {data, size});
  return 0;
}
