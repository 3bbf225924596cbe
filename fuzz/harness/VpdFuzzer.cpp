// libFuzzer harness: the VPD image BoardInfoDxe reads.
#include "Targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  boardsim::fuzz::RunTarget(boardsim::fuzz::kVpdTarget, {data, size});
  return 0;
}
