// One debug output channel: its operations, in the order the dispatcher uses them. The channels
// keep no data of their own; whatever lasts lives in the processor or in a trace buffer.
#pragma once
#include <Base.h>

struct DEBUG_OUTPUT_CHANNEL {
  // Present and allowed now?
  BOOLEAN (*IsSupported)();
  // One-time preparation of the channel's hardware.
  VOID (*Constructor)();
  // *Filter holds the default level mask on entry; a channel may put its own mask there.
  BOOLEAN (*GetFilter)(UINT64 *Filter);
  // Emits Length bytes of Text; Text[Length] is a NUL that is not emitted.
  VOID (*Print)(CONST CHAR8 *Text, UINTN Length);
};

extern const DEBUG_OUTPUT_CHANNEL FramedPortChannel;
extern const DEBUG_OUTPUT_CHANNEL BreakpointChannel;
extern const DEBUG_OUTPUT_CHANNEL ConfigurableSerialChannel;
extern const DEBUG_OUTPUT_CHANNEL LegacyUartChannel;

// Operations shared by the channels that have no presence, preparation or filter logic.
BOOLEAN ChannelEnabledByPrintSetting();
BOOLEAN ChannelAlwaysPresent();
VOID ChannelNoConstructor();
BOOLEAN ChannelKeepsDefaultFilter(UINT64 *Filter);

// Transmit helpers of the channels.
// Sends one character on the UART at SerialPortBase; FALSE when it never became ready.
BOOLEAN SerialPortWriteChar(CHAR8 Char);
// Sends Count bytes on the legacy UART at 0x3F8 in 16-byte bursts; Count when all went out,
// otherwise 0.
UINTN UartWrite(CONST UINT8 *Buffer, UINTN Count);
// Hands Length bytes at Address to the debug agent that watches the breakpoint port.
VOID BreakpointPortWrite(CONST VOID *Address, UINTN Length);
