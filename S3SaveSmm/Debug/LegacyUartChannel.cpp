// The 16550-style UART at I/O 0x3F8, fed in bursts that fit its 16-byte transmit FIFO. Text goes
// out as is (no CR before LF). Line settings are left to earlier firmware.
#include "DebugChannel.h"
#include "RegisterAccess.h"

namespace {

constexpr UINT16 LEGACY_UART_TRANSMIT_PORT = 0x3F8;
constexpr UINT16 LEGACY_UART_LINE_STATUS_PORT = 0x3FD;
constexpr UINT8 LINE_STATUS_TRANSMITTER_EMPTY = 0x40;
constexpr UINT8 LINE_STATUS_IDLE = 0x60; // holding register and transmitter empty
constexpr UINTN LINE_STATUS_READS = 65535;
constexpr UINTN TRANSMIT_BURST = 16;

BOOLEAN WaitForLineStatus(UINT8 Bits) {
  for (UINTN Reads = 0; Reads < LINE_STATUS_READS; Reads++) {
    UINT8 Status = 0;
    ReadIoPort(AccessWidth8, LEGACY_UART_LINE_STATUS_PORT, &Status);
    if ((Status & Bits) == Bits) {
      return TRUE;
    }
  }
  return FALSE;
}

VOID LegacyUartPrint(CONST CHAR8 *Text, UINTN Length) {
  UartWrite(reinterpret_cast<CONST UINT8 *>(Text), Length);
}

} // namespace

UINTN UartWrite(CONST UINT8 *Buffer, UINTN Count) {
  if (Buffer == nullptr) {
    return 0;
  }
  if (Count == 0) {
    WaitForLineStatus(LINE_STATUS_IDLE);
    return 0;
  }
  for (UINTN Sent = 0; Sent < Count;) {
    if (!WaitForLineStatus(LINE_STATUS_TRANSMITTER_EMPTY)) {
      return 0;
    }
    for (UINTN Burst = 0; Burst < TRANSMIT_BURST && Sent < Count; Burst++, Sent++) {
      WriteIoPort(AccessWidth8, LEGACY_UART_TRANSMIT_PORT, &Buffer[Sent]);
    }
  }
  return Count;
}

constexpr DEBUG_OUTPUT_CHANNEL LegacyUartChannel = {ChannelAlwaysPresent, ChannelNoConstructor,
                                                    ChannelKeepsDefaultFilter, LegacyUartPrint};
