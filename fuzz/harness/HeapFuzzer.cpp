// libFuzzer harness: the heap-transfer HOB records S3SaveSmm walks.
#include "Targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  boardsim::fuzz::RunTarget(boardsim::fuzz::kHeapTarget, {data, size});
  return 0;
}
