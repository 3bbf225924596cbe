// libFuzzer harness: the trace buffer record and the S3 save table header.
#include "Targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  boardsim::fuzz::RunTarget(boardsim::fuzz::kTraceTableTarget, {data, size});
  return 0;
}
