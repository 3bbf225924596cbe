// A 16550-style UART that only transmits. Registers sit one byte apart in I/O space, or four
// bytes apart in memory space for a base above 0xFFFF. The line status register shows the
// transmitter empty (bits 5 and 6) only after `ready_after` status reads since the last
// character was written; what is written to the transmit register is kept as the UART's text.
#pragma once
#include "Board/Board.h"

#include <cstdint>
#include <optional>
#include <string>

namespace boardsim {

inline constexpr uint64_t kIoSpaceEnd = 0xFFFF;
inline constexpr uint32_t kUartRegisterCount = 8;
inline constexpr uint32_t kMemoryUartStride = 4;
inline constexpr uint64_t kMemoryUartSpan = kUartRegisterCount * kMemoryUartStride;

constexpr bool IsMemoryUart(uint64_t base) {
  return base > kIoSpaceEnd;
}

class Uart16550 {
public:
  explicit Uart16550(const UartConfig &config);

  uint64_t base() const { return base_; }
  bool memoryMapped() const { return IsMemoryUart(base_); }
  // The register (0-7) that an access at `address` (a port, or a memory address) reaches, or
  // nullopt when the access is not one of its registers.
  std::optional<uint32_t> RegisterAt(uint64_t address) const;

  uint8_t Read(uint32_t reg);
  void Write(uint32_t reg, uint8_t value);
  const std::string &text() const { return text_; }

private:
  uint64_t base_;
  std::optional<uint32_t> readyAfter_;
  uint32_t statusReadsSinceSend_ = 0;
  uint8_t interruptEnable_ = 0;
  uint8_t fifoControl_ = 0;
  uint8_t lineControl_ = 0;
  uint8_t modemControl_ = 0;
  uint8_t scratch_ = 0;
  uint16_t divisor_ = 0;
  std::string text_;
};

} // namespace boardsim
