// A 16550-style UART at SerialPortBase: I/O registers one byte apart up to 0xFFFF, memory-mapped
// registers four bytes apart above. Line settings are left to earlier firmware.
#include "DebugChannel.h"
#include "DebugSettings.h"
#include "RegisterAccess.h"

namespace {

constexpr UINT64 SERIAL_IO_SPACE_LIMIT = 0xFFFF;
constexpr UINT64 LINE_STATUS_IO_OFFSET = 5;
constexpr UINT64 LINE_STATUS_MMIO_OFFSET = 0x14;
constexpr UINT8 LINE_STATUS_HOLDING_EMPTY = 0x20;
constexpr UINTN LINE_STATUS_READS = 2000;

UINT8 ReadLineStatus() {
  const UINT64 Base = SerialPortBase;
  UINT8 Status = 0;
  if (Base > SERIAL_IO_SPACE_LIMIT) {
    ReadMmio(AccessWidth8, Base + LINE_STATUS_MMIO_OFFSET, &Status);
  } else {
    ReadIoPort(AccessWidth8, UINT16(Base + LINE_STATUS_IO_OFFSET), &Status);
  }
  return Status;
}

VOID ConfigurableSerialPrint(CONST CHAR8 *Text, UINTN Length) {
  for (UINTN Index = 0; Index < Length; Index++) {
    if (Text[Index] == '\n') {
      SerialPortWriteChar('\r');
    }
    SerialPortWriteChar(Text[Index]);
  }
}

} // namespace

BOOLEAN SerialPortWriteChar(CHAR8 Char) {
  BOOLEAN Ready = FALSE;
  for (UINTN Reads = 0; Reads < LINE_STATUS_READS && !Ready; Reads++) {
    Ready = (ReadLineStatus() & LINE_STATUS_HOLDING_EMPTY) != 0;
  }
  if (!Ready) {
    return FALSE;
  }
  const UINT64 Base = SerialPortBase;
  if (Base > SERIAL_IO_SPACE_LIMIT) {
    WriteMmio(AccessWidth8, Base, &Char);
  } else {
    WriteIoPort(AccessWidth8, UINT16(Base), &Char);
  }
  return TRUE;
}

constexpr DEBUG_OUTPUT_CHANNEL ConfigurableSerialChannel = {
    ChannelEnabledByPrintSetting, ChannelNoConstructor, ChannelKeepsDefaultFilter,
    ConfigurableSerialPrint};
