// The host register window in the configuration space of 00:00.0: a select register (0xC0)
// naming a register block instance, an index register (0xC4) naming a 32-bit register in it,
// and a data register (0xC8) through which that register is read and written. Byte accesses
// reach single bytes of the three registers, as an 8-bit load of 0xCB reads bits 31-24 of the
// selected register.
#pragma once
#include "Board/Board.h"
#include "Core/Trace.h"

#include <cstdint>
#include <vector>

namespace boardsim {

class HostWindow {
public:
  explicit HostWindow(const HostConfig &config);

  // `at`: offset of one of the three registers within the window (0, 4 or 8). A write reaches
  // the bytes of the register that `mask` selects, as a byte access or a whole-register one.
  uint32_t ReadRegister(uint32_t at) const;
  void WriteRegister(uint32_t at, uint32_t value, uint32_t mask = 0xFFFFFFFF);
  // `at`: byte offset within the window, 0-11.
  uint8_t ReadByte(uint32_t at) const;
  void WriteByte(uint32_t at, uint8_t value);

  uint32_t Register(uint32_t instance, uint32_t index) const;
  // final.host_registers: every register ever written, by instance and index.
  Json WrittenRegisters() const;

private:
  static uint64_t Key(uint32_t instance, uint32_t index) {
    return uint64_t{instance} << 32 | index;
  }

  struct Value {
    uint64_t key;
    uint32_t bits = 0;
    bool written = false;
  };
  // The first register whose key is not below `key`, in registers_ (const or not).
  template <typename Registers> static auto LowerBound(Registers &registers, uint64_t key);
  // The register of `key`, added (as 0) when there is none yet.
  size_t Find(uint64_t key);

  uint32_t select_ = 0;
  uint32_t index_ = 0;
  // In key order: a board has a few dozen registers at most, and the final state lists them so.
  std::vector<Value> registers_;
  // The register that select_ and index_ name, once a data write has looked it up.
  static constexpr size_t kNoneSelected = SIZE_MAX;
  size_t selected_ = kNoneSelected;
};

} // namespace boardsim
