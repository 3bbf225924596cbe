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
