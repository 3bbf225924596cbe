#include "Devices/Uart.h"

namespace boardsim {
namespace {

// Register numbers, with the divisor latch reached at 0 and 1 while LCR bit 7 is set.
constexpr uint32_t kData = 0;
constexpr uint32_t kInterruptEnable = 1;
constexpr uint32_t kInterruptId = 2; // FIFO control when written
constexpr uint32_t kLineControl = 3;
constexpr uint32_t kModemControl = 4;
constexpr uint32_t kLineStatus = 5;
constexpr uint32_t kScratch = 7;

constexpr uint8_t kDivisorLatchAccess = 0x80;
constexpr uint8_t kTransmitterEmpty = 0x60; // THR empty (bit 5) and transmitter empty (bit 6)
constexpr uint8_t kNoInterruptPending = 0x01;
constexpr uint8_t kFifosEnabled = 0xC0;

} // namespace

Uart16550::Uart16550(const UartConfig &config)
    : base_(config.base), readyAfter_(config.ready_after) {}

std::optional<uint32_t> Uart16550::RegisterAt(uint64_t address) const {
  if (address < base_)
    return std::nullopt;
  const uint64_t distance = address - base_;
  if (!memoryMapped()) {
    if (distance >= kUartRegisterCount)
      return std::nullopt;
    return static_cast<uint32_t>(distance);
  }
  if (distance >= kMemoryUartSpan || distance % kMemoryUartStride != 0)
    return std::nullopt;
  return static_cast<uint32_t>(distance / kMemoryUartStride);
}

uint8_t Uart16550::Read(uint32_t reg) {
  const bool latch = lineControl_ & kDivisorLatchAccess;
  switch (reg) {
  case kData:
    return latch ? static_cast<uint8_t>(divisor_) : 0; // nothing is ever received
  case kInterruptEnable:
    return latch ? static_cast<uint8_t>(divisor_ >> 8) : interruptEnable_;
  case kInterruptId:
    return kNoInterruptPending | ((fifoControl_ & 1) ? kFifosEnabled : 0);
  case kLineControl:
    return lineControl_;
  case kModemControl:
    return modemControl_;
  case kLineStatus: {
    const bool ready = readyAfter_ && statusReadsSinceSend_ >= *readyAfter_;
    if (readyAfter_ && !ready)
      ++statusReadsSinceSend_;
    return ready ? kTransmitterEmpty : 0;
  }
  case kScratch:
    return scratch_;
  default:
    return 0; // modem status: no lines asserted
  }
}

void Uart16550::Write(uint32_t reg, uint8_t value) {
  const bool latch = lineControl_ & kDivisorLatchAccess;
  switch (reg) {
  case kData:
    if (latch) {
      divisor_ = static_cast<uint16_t>((divisor_ & 0xFF00) | value);
    } else {
      text_.push_back(static_cast<char>(value));
      statusReadsSinceSend_ = 0;
    }
    break;
  case kInterruptEnable:
    if (latch) {
      divisor_ = static_cast<uint16_t>((divisor_ & 0x00FF) | value << 8);
    } else {
      interruptEnable_ = value;
    }
    break;
  case kInterruptId:
    fifoControl_ = value;
    break;
  case kLineControl:
    lineControl_ = value;
    break;
  case kModemControl:
    modemControl_ = value;
    break;
  case kScratch:
    scratch_ = value;
    break;
  default:
    break; // line and modem status are read-only
  }
}

} // namespace boardsim
