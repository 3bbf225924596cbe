// Build-time settings of the debug output (exported by name in the host build, so the simulator
// can model an image built with other values).
#pragma once
#include <Base.h>
#include <BuildSetting.h>

// 0 switches debug printing off; also the presence answer of the framed-port and configurable
// serial channels, and 1 makes the breakpoint channel present without a claimed breakpoint.
BUILD_SETTING UINT8 DebugPrintEnable;
// 0 removes the breakpoint channel.
BUILD_SETTING UINT8 BreakpointChannelEnable;
// I/O port of the framed-port channel.
BUILD_SETTING UINT16 FramedPortAddress;
// UART of the configurable serial channel: an I/O port base up to 0xFFFF, a memory address above.
BUILD_SETTING UINT64 SerialPortBase;
// The level mask every channel starts from.
BUILD_SETTING UINT64 DefaultDebugFilter;
