#include "Devices/BarAssignment.h"

#include "Devices/BarMemory.h"
#include "Devices/Uart.h"

namespace boardsim {
namespace {

struct Range {
  uint64_t begin;
  uint64_t end;
  bool Overlaps(const Range &other) const { return begin < other.end && other.begin < end; }
};

} // namespace

std::vector<uint32_t> AssignBar0(const Board &board) {
  std::vector<Range> taken;
  for (const PciFunction &function : board.pci) {
    if (function.bar0)
      taken.push_back({*function.bar0, uint64_t{*function.bar0} + kBarWindowSize});
  }
  for (const UartConfig &uart : board.uarts) {
    if (IsMemoryUart(uart.base))
      taken.push_back({uart.base, uart.base + kMemoryUartSpan});
  }

  std::vector<uint32_t> bars;
  bars.reserve(board.pci.size());
  uint64_t next = kPciMemoryHoleBase;
  for (const PciFunction &function : board.pci) {
    if (function.bar0 || function.kind == PciKind::Bridge) {
      bars.push_back(function.bar0.value_or(0));
      continue;
    }
    auto clash = [&](uint64_t base) {
      const Range window{base, base + kBarWindowSize};
      for (const Range &range : taken) {
        if (range.Overlaps(window))
          return true;
      }
      return false;
    };
    while (next + kBarWindowSize <= kPciMemoryHoleEnd && clash(next))
      next += kBarWindowSize;
    if (next + kBarWindowSize > kPciMemoryHoleEnd) {
      bars.push_back(0);
      continue;
    }
    bars.push_back(static_cast<uint32_t>(next));
    next += kBarWindowSize;
  }
  return bars;
}

} // namespace boardsim
