#include "Services/CallBuffers.h"

#include "Core/Simulator.h"

#include <cstring>

namespace boardsim {
namespace {

uint8_t *Place(Simulator &sim, const std::vector<uint8_t> &bytes, bool null) {
  if (null)
    return nullptr;
  auto *buffer = static_cast<uint8_t *>(sim.memory().Allocate(Space::Platform, bytes.size() + 1));
  std::memcpy(buffer, bytes.data(), bytes.size());
  return buffer;
}

Json Bytes(const uint8_t *buffer, size_t size) {
  return buffer ? Json(HexBytes(buffer, size)) : Json(nullptr);
}

} // namespace

CallBuffers::CallBuffers(Simulator &sim, const BootStep &step, uint32_t defaultSize) {
  const std::vector<uint8_t> fill(defaultSize, kCallBufferFill);
  const std::vector<uint8_t> &first = step.buffer1 ? *step.buffer1 : fill;
  const std::vector<uint8_t> &second = step.buffer2 ? *step.buffer2 : fill;
  first_ = Place(sim, first, step.buffer1_null);
  second_ = Place(sim, second, step.buffer2_null);
  firstSize_ = first.size();
  secondSize_ = second.size();
}

void CallBuffers::Report(Json &event) const {
  event["buffer1"] = Bytes(first_, firstSize_);
  event["buffer2"] = Bytes(second_, secondSize_);
}

} // namespace boardsim
