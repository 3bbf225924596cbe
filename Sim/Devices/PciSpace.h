// PCI configuration space as both access mechanisms reach it: one 4 KiB space per described
// function, addressed by its 16-bit bus/device/function number (bus << 8 | device << 3 |
// function). Functions that are not described read all ones and drop writes; offsets
// 0xC0-0xCB of 00:00.0 are the host register window whether or not 00:00.0 is described.
// Configuration writes are kept. BAR0 memory decodes at the BAR's current value while the
// command register's memory-space bit is set.
#pragma once
#include "Board/Board.h"
#include "Core/Trace.h"
#include "Devices/BarMemory.h"
#include "Devices/HostWindow.h"
#include "Devices/PciConfigImage.h"
#include "Devices/VpdCapability.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace boardsim {

constexpr uint16_t Bdf16(const Bdf &bdf) {
  return static_cast<uint16_t>(bdf.bus << 8 | bdf.device << 3 | bdf.function);
}
constexpr Bdf BdfFrom16(uint16_t bdf) {
  return Bdf{static_cast<uint8_t>(bdf >> 8), static_cast<uint8_t>(bdf >> 3 & 0x1F),
             static_cast<uint8_t>(bdf & 7)};
}
// "bb:dd.f", as board files and the trace write a function's location.
std::string BdfText(const Bdf &bdf);

class PciSpace {
public:
  // `clock` gives simulated time in microseconds to devices that take time to answer.
  PciSpace(const Board &board, std::function<uint64_t()> clock);

  // `size` in bytes (1-8); bytes past the end of the 4 KiB space read all ones.
  uint64_t Read(uint16_t bdf, uint32_t offset, unsigned size);
  void Write(uint16_t bdf, uint32_t offset, unsigned size, uint64_t value);

  // The BAR0 window (of a function decoding memory) that holds `address`, if any.
  struct BarHit {
    BarMemory *memory;
    uint32_t offset;
  };
  std::optional<BarHit> FindBar(uint64_t address);
  bool InBar(uint64_t address) const { return FindBarSlot(address).has_value(); }

  const HostWindow &hostWindow() const { return hostWindow_; }
  // final.pci_command: bdf -> command register, for every function whose command was written.
  Json WrittenCommands() const;

private:
  struct Function {
    Bdf bdf;
    ConfigSpace config;
    std::optional<VpdCapability> vpd;
    std::optional<BarMemory> bar; // for functions that have a BAR0
    bool commandWritten = false;
  };
  Function *Find(uint16_t bdf);
  struct BarSlot {
    size_t function; // index into functions_
    uint32_t offset;
  };
  std::optional<BarSlot> FindBarSlot(uint64_t address) const;
  uint8_t ReadByte(uint16_t bdf, Function *function, uint32_t offset) const;
  void WriteBytes(uint16_t bdf, Function *function, uint32_t offset, unsigned size, uint64_t value);

  // Not resized after construction, so pointers to its functions stay valid.
  std::vector<Function> functions_;
  // (bdf, index into functions_), ordered by bdf.
  std::vector<std::pair<uint16_t, size_t>> byBdf_;
  std::vector<size_t> withBar_;
  HostWindow hostWindow_;
  // The function found last: drivers access one function many times in a row.
  int32_t lastBdf_ = -1;
  Function *lastFunction_ = nullptr;
};

} // namespace boardsim
