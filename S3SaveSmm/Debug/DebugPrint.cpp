#include "DebugPrint.h"
#include "DebugSettings.h"
#include <Library/PrintLib.h>

constexpr const DEBUG_OUTPUT_CHANNEL *mDebugChannelTable[] = {
    &FramedPortChannel, &BreakpointChannel, &ConfigurableSerialChannel, &LegacyUartChannel,
    nullptr};

VOID GetDebugChannelTable(const DEBUG_OUTPUT_CHANNEL *const **Table) {
  *Table = mDebugChannelTable;
}

// Every channel is asked, so each presence test runs (and has its side effects) every time.
BOOLEAN AnyDebugChannelSupported(const DEBUG_OUTPUT_CHANNEL *const *Table) {
  BOOLEAN Any = FALSE;
  for (UINT8 Index = 0; Table[Index] != nullptr; Index++) {
    if (Table[Index]->IsSupported()) {
      Any = TRUE;
    }
  }
  return Any;
}

EFI_STATUS DebugChannelsInitialize() {
  if (!AnyDebugChannelSupported(mDebugChannelTable)) {
    return EFI_SUCCESS;
  }
  for (UINT8 Index = 0; mDebugChannelTable[Index] != nullptr; Index++) {
    if (mDebugChannelTable[Index]->IsSupported()) {
      mDebugChannelTable[Index]->Constructor();
    }
  }
  return EFI_SUCCESS;
}

VOID DebugTraceVPrint(UINT64 Level, CONST CHAR8 *Format, VA_LIST Args) {
  if (DebugPrintEnable == 0) {
    return;
  }
  CHAR8 Text[DEBUG_TEXT_BUFFER_SIZE];
  const UINTN Length = AsciiVSPrint(Text, sizeof(Text), Format, Args);

  const DEBUG_OUTPUT_CHANNEL *const *Table;
  GetDebugChannelTable(&Table);
  if (!AnyDebugChannelSupported(Table)) {
    return;
  }
  for (UINT8 Index = 0; Table[Index] != nullptr; Index++) {
    const DEBUG_OUTPUT_CHANNEL *Channel = Table[Index];
    if (!Channel->IsSupported()) {
      continue;
    }
    // Reloaded per channel: one channel's own mask never reaches the next.
    UINT64 Filter = DefaultDebugFilter;
    Channel->GetFilter(&Filter);
    if ((Level & Filter) != 0) {
      Channel->Print(Text, Length);
    }
  }
}

VOID DebugTracePrint(UINT64 Level, CONST CHAR8 *Format, ...) {
  VA_LIST Args;
  VA_START(Args, Format);
  DebugTraceVPrint(Level, Format, Args);
  VA_END(Args);
}
