// Text framed by two 32-bit markers on one I/O port, with no pacing: a port watcher (such as a
// POST-code capture) can find each message in the byte stream.
#include "DebugChannel.h"
#include "DebugSettings.h"
#include "RegisterAccess.h"

namespace {

constexpr UINT32 FRAME_START_MARKER = 0x5F535452; // "RTS_" in memory order
constexpr UINT32 FRAME_END_MARKER = 0x5F454E44;   // "DNE_"

VOID FramedPortPrint(CONST CHAR8 *Text, UINTN Length) {
  const UINT16 Port = FramedPortAddress;
  WriteIoPort(AccessWidth32, Port, &FRAME_START_MARKER);
  for (UINTN Index = 0; Index < Length; Index++) {
    WriteIoPort(AccessWidth8, Port, &Text[Index]);
  }
  WriteIoPort(AccessWidth32, Port, &FRAME_END_MARKER);
}

} // namespace

constexpr DEBUG_OUTPUT_CHANNEL FramedPortChannel = {
    ChannelEnabledByPrintSetting, ChannelNoConstructor, ChannelKeepsDefaultFilter, FramedPortPrint};
