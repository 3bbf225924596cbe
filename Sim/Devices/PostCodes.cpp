#include "Devices/PostCodes.h"

#include "Core/Simulator.h"

namespace boardsim {
namespace {

constexpr uint32_t kErrorMarker = 0xDEAD;

} // namespace

PostCodes::PostCodes(Simulator &sim, const CpuConfig &cpu)
    : sim_(sim), cycles_(cpu.error_stop_cycles) {}

void PostCodes::PortWritten(uint16_t port, unsigned width, uint32_t value) {
  if (port == kPostCodePort) {
    port80_[port80Writes_++ % kKept] = value;
    if (width != 32) {
      if (stop_ == Stop::Marked)
        stop_ = Stop::None;
    } else if (stop_ == Stop::Marked) {
      errorStops_.push_back(value);
      stop_ = Stop::Displaying;
      displayWrites_ = 0;
    } else if (stop_ == Stop::Displaying) {
      DisplayWrite();
    }
    return;
  }
  if (port == kErrorMarkerPort && width == 16 && value == kErrorMarker) {
    stop_ = Stop::Marked;
  } else if (stop_ == Stop::Marked) {
    stop_ = Stop::None;
  }
}

void PostCodes::ProbeAnswered(uint16_t si) {
  if (stop_ != Stop::Displaying)
    return;
  if (si != 0) {
    stop_ = Stop::None;
  } else if (cycles_ == 0) {
    sim_.Halt();
  }
}

void PostCodes::DisplayWrite() {
  if (++displayWrites_ >= uint64_t{cycles_} * kErrorStopWritesPerCycle)
    sim_.Halt();
}

Json PostCodes::Port80() const {
  const uint64_t first = port80Writes_ > kKept ? port80Writes_ - kKept : 0;
  Json values = ArrayWithRoom(port80Writes_ - first);
  for (uint64_t i = first; i < port80Writes_; ++i)
    values.push_back(port80_[i % kKept]);
  return values;
}

} // namespace boardsim
