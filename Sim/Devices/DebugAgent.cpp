#include "Devices/DebugAgent.h"

#include "Core/Simulator.h"

#include <cstring>
#include <sys/uio.h>
#include <unistd.h>

namespace boardsim {
namespace {

// Longer than any text a module hands over (a trace buffer holds at most 0xFFFF bytes).
constexpr uint32_t kMaxHandOver = 1u << 20;

// Reads host memory outside the simulator's RAM (a module's stack or data) without crashing on
// an address that is not mapped.
bool ReadHostMemory(const void *from, size_t length, uint8_t *to) {
  iovec local{to, length};
  iovec remote{const_cast<void *>(from), length};
  return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(length);
}

} // namespace

const std::vector<uint8_t> &DebugAgent::Collect(uint32_t eax, uint32_t ebx, uint32_t edx,
                                                const void *text) {
  if (edx != kBreakpointPortTag || ebx == 0)
    return none_;
  if (ebx > kMaxHandOver) {
    sim_.Fault("debug agent: hand-over of " + std::to_string(ebx) + " bytes");
    return none_;
  }
  std::vector<uint8_t> bytes(ebx);
  const uint64_t address = reinterpret_cast<uint64_t>(text);
  if (sim_.memory().InRam(address, ebx)) {
    std::memcpy(bytes.data(), text, ebx);
  } else if (text == nullptr || !ReadHostMemory(text, ebx, bytes.data())) {
    sim_.Fault("debug agent: hand-over text not readable");
    return none_;
  }
  handOvers_.push_back({eax, ebx, std::move(bytes)});
  return handOvers_.back().text;
}

} // namespace boardsim
