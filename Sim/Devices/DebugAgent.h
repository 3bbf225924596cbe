// The external debug agent that owns the I/O breakpoint on port 0x99CC. When the breakpoint is
// armed and a 32-bit OUT to the port carries the tag 0xC0BF99CC in EDX, the agent takes EBX
// bytes of text from the address in EAX. The simulator hands it the full host address of that
// text; EAX holds its low 32 bits.
#pragma once
#include "Devices/Machine.h"

#include <cstdint>
#include <vector>

namespace boardsim {

class Simulator;

inline constexpr uint16_t kBreakpointPort = 0x99CC;
inline constexpr uint32_t kBreakpointPortTag = 0xC0BF99CC;

class DebugAgent {
public:
  explicit DebugAgent(Simulator &sim) : sim_(sim) {}

  // The agent's part of a hand-over write while the breakpoint is armed: the bytes it collected
  // (none for another tag, or when the text cannot be read, which is reported as a fault).
  const std::vector<uint8_t> &Collect(uint32_t eax, uint32_t ebx, uint32_t edx, const void *text);
  const std::vector<DebugHandOver> &handOvers() const { return handOvers_; }

private:
  Simulator &sim_;
  std::vector<DebugHandOver> handOvers_;
  std::vector<uint8_t> none_;
};

} // namespace boardsim
