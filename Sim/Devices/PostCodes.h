// The POST-code ports 0x80 and 0xE0 and the error stops seen on them. An error stop announces
// itself with a 16-bit 0xDEAD to 0xE0 directly followed by its 32-bit code to 0x80. Unless the
// release probe answers non-zero, the processor then sits in the display loop, six 32-bit
// writes to 0x80 per cycle; after `error_stop_cycles` cycles the run ends as halted.
#pragma once
#include "Board/Board.h"
#include "Core/Trace.h"

#include <array>
#include <cstdint>
#include <vector>

namespace boardsim {

class Simulator;

inline constexpr uint16_t kPostCodePort = 0x80;
inline constexpr uint16_t kErrorMarkerPort = 0xE0;
inline constexpr uint32_t kErrorStopWritesPerCycle = 6;

class PostCodes {
public:
  PostCodes(Simulator &sim, const CpuConfig &cpu);

  // Every port write the processor makes, in order (any other port breaks an announcement).
  void PortWritten(uint16_t port, unsigned width, uint32_t value);
  // The release probe was answered with `si`.
  void ProbeAnswered(uint16_t si);

  Json Port80() const;
  const std::vector<uint32_t> &errorStops() const { return errorStops_; }

private:
  enum class Stop { None, Marked, Displaying };
  void DisplayWrite();

  static constexpr size_t kKept = 256;
  Simulator &sim_;
  uint32_t cycles_;
  std::array<uint32_t, kKept> port80_{};
  uint64_t port80Writes_ = 0;
  std::vector<uint32_t> errorStops_;
  Stop stop_ = Stop::None;
  uint64_t displayWrites_ = 0;
};

} // namespace boardsim
