// The text a debug channel sent, read back from the trace.
#pragma once
#include "Core/Trace.h"

#include <cstdint>
#include <vector>

namespace boardsim {

// The bytes between the start and end markers of every frame sent to `port`.
std::vector<uint8_t> FramedText(const std::vector<Json> &events, uint64_t port);

} // namespace boardsim
