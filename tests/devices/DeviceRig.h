// A simulator over a small board with its trace captured, and the ways software reaches the
// board's hardware: ECAM, the 0xCF8/0xCFC port pair, and the trace it leaves.
#pragma once
#include "Core/Simulator.h"
#include "Devices/Machine.h"

#include <gtest/gtest.h>

#include <string_view>
#include <utility>
#include <vector>

namespace boardsim::test {

inline constexpr uint64_t kEcamBase = 0xF0000000;

inline uint64_t Ecam(Bdf bdf, uint32_t offset) {
  return kEcamBase + (uint64_t{bdf.bus} << 20 | uint64_t{bdf.device} << 15 |
                      uint64_t{bdf.function} << 12 | offset);
}

inline PciFunction Function(Bdf bdf, PciKind kind = PciKind::Device, uint16_t vendor = 0x1AF4,
                            uint16_t device = 0x1000) {
  PciFunction function;
  function.bdf = bdf;
  function.kind = kind;
  function.vendor = vendor;
  function.device = device;
  function.class_code = kind == PciKind::Nic ? 0x02 : kind == PciKind::Bridge ? 0x06 : 0xFF;
  return function;
}

inline PciFunction Nic(Bdf bdf, NicModel model, uint16_t vendor, uint16_t device) {
  PciFunction function = Function(bdf, PciKind::Nic, vendor, device);
  function.model = model;
  return function;
}

class Rig {
public:
  // The simulator keeps the board it is handed.
  explicit Rig(Board board, bool trace = true)
      : sim(std::move(board), SimOptions{.captureTrace = trace}) {}

  Machine &m() { return sim.machine(); }

  std::vector<Json> Events(std::string_view ev) {
    std::vector<Json> found;
    for (const Json &event : sim.trace().Events()) {
      if (event["ev"] == ev)
        found.push_back(event);
    }
    return found;
  }
  size_t EventCount() { return sim.trace().Events().size(); }

  Json Final() {
    Json final = Json::object();
    m().FillFinal(final);
    return final;
  }

  // Configuration access through the port pair, as the legacy mechanism does it.
  uint64_t PortConfigRead(Bdf bdf, uint32_t offset, unsigned width) {
    m().IoWrite(0xCF8, 32, PortConfigAddress(bdf, offset));
    return m().IoRead(static_cast<uint16_t>(0xCFC + (offset & 3)), width);
  }
  void PortConfigWrite(Bdf bdf, uint32_t offset, unsigned width, uint64_t value) {
    m().IoWrite(0xCF8, 32, PortConfigAddress(bdf, offset));
    m().IoWrite(static_cast<uint16_t>(0xCFC + (offset & 3)), width, value);
  }
  static uint32_t PortConfigAddress(Bdf bdf, uint32_t offset) {
    return 0x80000000u | uint32_t{bdf.bus} << 16 | uint32_t{bdf.device} << 11 |
           uint32_t{bdf.function} << 8 | (offset & 0xFC);
  }

  Simulator sim;
};

} // namespace boardsim::test
