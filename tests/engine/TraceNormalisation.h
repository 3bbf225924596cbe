// What must differ between a host-engine and an image-engine trace of the same board, taken
// out so that the rest can be compared event by event. docs/image-engine.md lists each item
// with its reason.
#pragma once
#include "Core/Trace.h"

#include <vector>

namespace boardsim::testing {

std::vector<Json> NormaliseTrace(std::vector<Json> events);

} // namespace boardsim::testing
