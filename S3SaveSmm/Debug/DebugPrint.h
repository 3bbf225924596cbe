// Debug text: a message is formatted once and offered, in table order, to every output channel
// that is present and whose level filter takes it.
#pragma once
#include <Base.h>
#include "DebugChannel.h"

inline constexpr UINTN DEBUG_TEXT_BUFFER_SIZE = 512;

// NULL-terminated; the order is the order in which channels are asked and served.
extern const DEBUG_OUTPUT_CHANNEL *const mDebugChannelTable[];

VOID DebugTracePrint(UINT64 Level, CONST CHAR8 *Format, ...);
VOID DebugTraceVPrint(UINT64 Level, CONST CHAR8 *Format, VA_LIST Args);
VOID GetDebugChannelTable(const DEBUG_OUTPUT_CHANNEL *const **Table);
BOOLEAN AnyDebugChannelSupported(const DEBUG_OUTPUT_CHANNEL *const *Table);
// Runs the constructor of every present channel; always EFI_SUCCESS.
EFI_STATUS DebugChannelsInitialize();
