#include "Services/CallBuffers.h"

#include "Core/Simulator.h"

#include <cstring>

namespace boardsim {
namespace {

// Bytes behind each buffer that the called member may not write: a member that writes past the
// end of the buffer it was given changes them, and the run reports it instead of corrupting
// whatever lies behind.
constexpr size_t kGuardSize = 64;
constexpr uint8_t kGuardByte = 0x5A;

uint8_t *Place(Simulator &sim, const std::vector<uint8_t> &bytes, bool null) {
  if (null)
    return nullptr;
  auto *buffer =
      static_cast<uint8_t *>(sim.memory().Allocate(Space::Platform, bytes.size() + kGuardSize));
  if (!bytes.empty())
    std::memcpy(buffer, bytes.data(), bytes.size());
  std::memset(buffer + bytes.size(), kGuardByte, kGuardSize);
  return buffer;
}

// How many bytes past `size` the guard was written up to, or 0.
size_t Overrun(const uint8_t *buffer, size_t size) {
  if (!buffer)
    return 0;
  for (size_t n = kGuardSize; n > 0; --n)
    if (buffer[size + n - 1] != kGuardByte)
      return n;
  return 0;
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

void CallBuffers::CheckGuards(Simulator &sim, const std::string &target) const {
  const std::pair<const uint8_t *, size_t> buffers[] = {{first_, firstSize_},
                                                        {second_, secondSize_}};
  for (int i = 0; i < 2; ++i)
    if (size_t n = Overrun(buffers[i].first, buffers[i].second))
      sim.Fault(target + " wrote " + std::to_string(n) + " byte" + (n == 1 ? "" : "s") +
                " past the end of buffer" + std::to_string(i + 1) + " (" +
                std::to_string(buffers[i].second) + " bytes)");
}

void CallBuffers::Report(Json &event) const {
  event["buffer1"] = Bytes(first_, firstSize_);
  event["buffer2"] = Bytes(second_, secondSize_);
}

} // namespace boardsim
