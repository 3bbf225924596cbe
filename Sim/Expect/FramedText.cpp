#include "Expect/FramedText.h"

#include "Report/ErrorStops.h"

namespace boardsim {
namespace {

bool IsOut(const Json &e, uint64_t port) {
  return e.value("ev", "") == "io" && e.value("dir", "") == "out" && e.value("port", 0u) == port;
}

} // namespace

std::vector<uint8_t> FramedText(const std::vector<Json> &events, uint64_t port) {
  std::vector<uint8_t> text;
  bool inFrame = false;
  for (const Json &e : events) {
    if (!IsOut(e, port))
      continue;
    const uint64_t value = e["value"].get<uint64_t>(), width = e["width"].get<uint64_t>();
    if (width == 32 && value == report::kFrameStart)
      inFrame = true;
    else if (width == 32 && value == report::kFrameEnd)
      inFrame = false;
    else if (inFrame && width == 8)
      text.push_back(uint8_t(value));
  }
  return text;
}

} // namespace boardsim
