// libFuzzer harness: the Setup variable both board modules read.
#include "Targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  boardsim::fuzz::RunTarget(boardsim::fuzz::kSetupTarget, {data, size});
  return 0;
}
