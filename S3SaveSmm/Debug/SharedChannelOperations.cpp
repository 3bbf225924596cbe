#include "DebugChannel.h"
#include "DebugSettings.h"

BOOLEAN ChannelEnabledByPrintSetting() {
  return DebugPrintEnable;
}

BOOLEAN ChannelAlwaysPresent() {
  return TRUE;
}

VOID ChannelNoConstructor() {}

BOOLEAN ChannelKeepsDefaultFilter(UINT64 *) {
  return FALSE;
}
