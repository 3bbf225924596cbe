#include "DebugSettings.h"

BUILD_SETTING UINT8 DebugPrintEnable = 0;
BUILD_SETTING UINT8 BreakpointChannelEnable = 1;
BUILD_SETTING UINT16 FramedPortAddress = 0x80;
BUILD_SETTING UINT64 SerialPortBase = 0x3F8;
BUILD_SETTING UINT64 DefaultDebugFilter = 0x100401008A300408;
